#include "update/tests/check_fixtures.hpp"

#include <fmt/format.h>

namespace update::testing {

namespace {

std::string quoted(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (byte < 0x20) {
      out += fmt::format("\\u{:04x}", byte);
    } else {
      out += c;
    }
  }
  return out + "\"";
}

std::string artifact_json(const Artifact& artifact) {
  return fmt::format(R"({{"format": {}, "path": {}, "bytes": {}, "sha256": {}}})",
                     quoted(artifact.format), quoted(artifact.path), artifact.bytes,
                     quoted(artifact.sha256));
}

std::string delta_json(const Delta& delta) {
  return fmt::format(
      R"({{"format": {}, "from_version": {}, "from_sha256": {}, "path": {}, "bytes": {}, "sha256": {}}})",
      quoted(delta.format), quoted(delta.from_version), quoted(delta.from_sha256),
      quoted(delta.path), delta.bytes, quoted(delta.sha256));
}

std::string entry_json(const FileEntry& entry) {
  std::string out = fmt::format(R"({{"path": {}, "bytes": {}, "sha256": {})", quoted(entry.path),
                                entry.bytes, quoted(entry.sha256));
  if (entry.compressed) out += ", \"compressed\": " + artifact_json(*entry.compressed);
  out += ", \"deltas\": [";
  for (std::size_t i = 0; i < entry.deltas.size(); ++i) {
    if (i > 0) out += ", ";
    out += delta_json(entry.deltas[i]);
  }
  return out + "]}";
}

}  // namespace

std::string digest(char digit) { return std::string(64, digit); }

ReleaseManifest valid_manifest() {
  ReleaseManifest manifest;
  manifest.product = kProduct;
  manifest.channel = kChannel;
  manifest.version = "1.4.0";
  manifest.build = "1.4.0+8f2c1a";
  manifest.issued_at_ms = 1733788800000;
  manifest.minimum_version = "0.1.0";
  manifest.files = {
      FileEntry{"morvane.exe", 4096, digest('a'), Artifact{"xz", "morvane.exe.xz", 1500, digest('b')},
                {Delta{"mvdiff1", "1.3.0", digest('c'), "morvane.exe.from-1.3.0", 300, digest('d')},
                 Delta{"mvdiff1", "1.2.0", digest('e'), "morvane.exe.from-1.2.0", 400, digest('f')}}},
      FileEntry{"core.dll", 2048, digest('1'), std::nullopt, {}},
  };
  manifest.notes_key = "notes.1.4.0";
  return manifest;
}

std::string manifest_json(const ReleaseManifest& manifest) {
  std::string out = "{\n";
  out += fmt::format("  \"product\": {},\n", quoted(manifest.product));
  out += fmt::format("  \"channel\": {},\n", quoted(manifest.channel));
  out += fmt::format("  \"version\": {},\n", quoted(manifest.version));
  out += fmt::format("  \"build\": {},\n", quoted(manifest.build));
  out += fmt::format("  \"issued_at_ms\": {},\n", manifest.issued_at_ms);
  out += fmt::format("  \"minimum_version\": {},\n", quoted(manifest.minimum_version));
  if (manifest.key_id) out += fmt::format("  \"key_id\": {},\n", quoted(*manifest.key_id));
  out += "  \"files\": [";
  for (std::size_t i = 0; i < manifest.files.size(); ++i) {
    out += i > 0 ? ",\n    " : "\n    ";
    out += entry_json(manifest.files[i]);
  }
  out += manifest.files.empty() ? "]" : "\n  ]";
  if (manifest.notes_key) out += fmt::format(",\n  \"notes_key\": {}", quoted(*manifest.notes_key));
  return out + "\n}\n";
}

}  // namespace update::testing
