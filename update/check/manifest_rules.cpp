#include "update/check/manifest_rules.hpp"

#include <algorithm>
#include <map>
#include <vector>

#include <fmt/format.h>

#include "platform/text.hpp"
#include "update/check/reserved_names.hpp"
#include "update/records/manifest_names.hpp"
#include "update/records/version.hpp"
#include "update/store/updates_dir.hpp"

namespace update {

namespace {

// Exactly 64 hexadecimal digits of either case.
bool is_hex_digest(std::string_view text) {
  if (text.size() != 64) return false;
  return std::all_of(text.begin(), text.end(), [](char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
  });
}

bool is_plain_name_char(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
         c == '_' || c == '-' || c == '.';
}

std::optional<std::string> check_delta(const FileEntry& entry, std::size_t index) {
  const Delta& delta = entry.deltas[index];
  const Artifact as_artifact{delta.format, delta.path, delta.bytes, delta.sha256};
  if (auto reason = check_artifact(entry, as_artifact)) return reason;
  if (!is_hex_digest(delta.from_sha256)) {
    return fmt::format("the delta {} names no readable file it applies to", delta.path);
  }
  for (std::size_t earlier = 0; earlier < index; ++earlier) {
    if (entry.deltas[earlier].from_sha256 == delta.from_sha256) {
      return fmt::format("two deltas of {} apply to one file", entry.path);
    }
  }
  return std::nullopt;
}

std::optional<std::string> check_entry(const FileEntry& entry) {
  if (entry.compressed) {
    if (auto reason = check_artifact(entry, *entry.compressed)) return reason;
  }
  for (std::size_t i = 0; i < entry.deltas.size(); ++i) {
    if (auto reason = check_delta(entry, i)) return reason;
  }
  if (!is_plain_file_name(entry.path)) {
    return fmt::format(
        "file {} is not a plain file name; the updater's write set is this product's own "
        "directory and a manifest may not widen it",
        entry.path);
  }
  if (!is_hex_digest(entry.sha256)) {
    return fmt::format("file {} has no readable sha256", entry.path);
  }
  if (entry.bytes == 0) {
    return fmt::format("file {} claims zero bytes", entry.path);
  }
  return std::nullopt;
}

// True when two of the names the manifest lists are equal, byte for byte.
bool lists_a_name_twice(const ReleaseManifest& manifest) {
  std::vector<std::string_view> names;
  for (std::string_view name : next_manifest_name(manifest.files)) names.push_back(name);
  std::sort(names.begin(), names.end());
  return std::adjacent_find(names.begin(), names.end()) != names.end();
}

// The first listed name, in list order, that the updater writes itself or
// that names a device, with the reason.
std::optional<std::string> check_reserved_names(const ReleaseManifest& manifest) {
  for (std::string_view name : next_manifest_name(manifest.files)) {
    const std::string folded = folded_file_name(name);
    if (is_updater_own_name(folded)) {
      return fmt::format("the name {} is one the updater and installer write themselves, so a manifest may not "
                         "claim it",
                         name);
    }
    if (is_device_name(folded)) {
      return fmt::format("the name {} is a Windows device name, so no file can be written under it", name);
    }
  }
  return std::nullopt;
}

// The first listed name, in list order, that is another listed name once
// case and trailing points and blanks no longer count, with the reason
// naming both.
std::optional<std::string> check_folded_names(const ReleaseManifest& manifest) {
  std::map<std::string, std::string_view> seen;
  for (std::string_view name : next_manifest_name(manifest.files)) {
    const auto [earlier, added] = seen.try_emplace(folded_file_name(name), name);
    if (!added) {
      return fmt::format(
          "it lists {} and {}, one file name where case and trailing points do not count, so which bytes it "
          "means is undecided",
          earlier->second, name);
    }
  }
  return std::nullopt;
}

}  // namespace

bool is_plain_file_name(std::string_view name) {
  if (name.empty() || name.size() > 128) return false;
  if (name.front() == '.') return false;
  if (name.find("..") != std::string_view::npos) return false;
  // "/", "\" and ":" are outside the allowed characters too.
  return std::all_of(name.begin(), name.end(), is_plain_name_char);
}

std::optional<std::string> check_artifact(const FileEntry& entry, const Artifact& artifact) {
  if (!is_plain_file_name(artifact.path)) {
    return fmt::format(
        "the artifact {} of {} is not a plain file name; the updater's write set may not be "
        "widened by a manifest",
        artifact.path, entry.path);
  }
  if (artifact.path == entry.path) {
    return fmt::format("the artifact of {} has the file's own name", entry.path);
  }
  if (artifact.bytes == 0) {
    return fmt::format("the artifact {} claims zero bytes", artifact.path);
  }
  if (!is_hex_digest(artifact.sha256)) {
    return fmt::format("the artifact {} has no readable sha256", artifact.path);
  }
  if (platform::trim_unicode(artifact.format).empty()) {
    return fmt::format("the artifact {} names no format", artifact.path);
  }
  return std::nullopt;
}

std::optional<std::string> why_unusable(const ReleaseManifest& manifest) {
  if (!parse_version(manifest.version)) {
    return fmt::format(
        "version {} is not MAJOR.MINOR.PATCH — a version this client cannot compare must "
        "refuse, never be treated as 0.0.0",
        manifest.version);
  }
  if (!parse_version(manifest.minimum_version)) {
    return fmt::format("minimum_version {} is not MAJOR.MINOR.PATCH", manifest.minimum_version);
  }
  const std::string stamp = manifest.version + "+";
  if (!manifest.build.starts_with(stamp)) {
    return fmt::format(
        "build {} does not stamp version {} — the two identities in one manifest disagree",
        manifest.build, manifest.version);
  }
  if (manifest.issued_at_ms < 1) {
    return fmt::format("issued_at_ms {} is not a time — anti-replay has no axis without it",
                       manifest.issued_at_ms);
  }
  if (manifest.files.empty()) return std::string("it lists no files, so it describes no release");
  for (const FileEntry& entry : manifest.files) {
    if (auto reason = check_entry(entry)) return reason;
  }
  if (lists_a_name_twice(manifest)) {
    return std::string(
        "it lists the same file name twice, so which bytes it means is undecided");
  }
  // The version names the release's folders below updates/pending and
  // updates/history; it must stay one folder there.
  if (!is_plain_folder_name(manifest.version)) {
    return fmt::format(
        "version {} is not one plain folder name; the updater keeps each release in a folder of that name and a "
        "manifest may not widen its write set",
        manifest.version);
  }
  if (auto reason = check_reserved_names(manifest)) return reason;
  return check_folded_names(manifest);
}

}  // namespace update
