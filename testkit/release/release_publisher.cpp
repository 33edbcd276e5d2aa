#include "testkit/release/release_publisher.hpp"

#include <algorithm>
#include <map>

#include <fmt/format.h>

#include "fetch/digest/sha256.hpp"
#include "platform/fs.hpp"
#include "testkit/release/delta_maker.hpp"
#include "testkit/release/signing_key.hpp"
#include "testkit/xz_tool.hpp"
#include "update/check/release_path.hpp"
#include "update/records/manifest_tables.hpp"

namespace testkit {

namespace {

using Outcome = tl::expected<void, std::string>;

// What goes into the channel folder, by published name.
using Publication = std::map<std::string, platform::Bytes>;

update::Artifact describe(std::string format, std::string path, platform::ByteView bytes) {
  return update::Artifact{std::move(format), std::move(path), bytes.size(), fetch::sha256_hex(bytes)};
}

Outcome add_artifact(const PublishedFile& file, update::FileEntry& entry, Publication& out) {
  if (!file.xz_check) return {};
  auto packed = xz_compress(file.bytes, *file.xz_check, file.xz_options);
  if (!packed) return tl::unexpected(fmt::format("xz of {}: {}", file.name, packed.error()));
  entry.compressed = describe("xz", artifact_name(file.name), *packed);
  out[entry.compressed->path] = std::move(*packed);
  return {};
}

// One delta per earlier release that had the file with other bytes; two
// earlier releases with the same bytes share the first one's delta.
Outcome add_deltas(const PublishedFile& file, const std::vector<EarlierRelease>& earlier, update::FileEntry& entry,
                   Publication& out) {
  if (!file.deltas) return {};
  const auto compress = [](platform::ByteView stream) { return xz_compress(stream); };
  for (const EarlierRelease& release : earlier) {
    const auto old = std::find_if(release.files.begin(), release.files.end(),
                                  [&](const PublishedFile& f) { return f.name == file.name; });
    if (old == release.files.end() || old->bytes == file.bytes) continue;
    const std::string from_sha256 = fetch::sha256_hex(old->bytes);
    const bool known = std::any_of(entry.deltas.begin(), entry.deltas.end(),
                                   [&](const update::Delta& d) { return d.from_sha256 == from_sha256; });
    if (known) continue;
    auto patch = make_mvdiff1(old->bytes, file.bytes, compress);
    if (!patch) {
      return tl::unexpected(fmt::format("delta of {} from {}: {}", file.name, release.version, patch.error()));
    }
    const update::Artifact described = describe("mvdiff1", delta_name(file.name, release.version), *patch);
    entry.deltas.push_back(update::Delta{"mvdiff1", release.version, from_sha256, described.path, described.bytes,
                                         described.sha256});
    out[described.path] = std::move(*patch);
  }
  return {};
}

tl::expected<update::ReleaseManifest, std::string> make_manifest(const Release& release, Publication& out) {
  update::ReleaseManifest manifest;
  manifest.product = release.product;
  manifest.channel = release.channel;
  manifest.version = release.version;
  manifest.build = fmt::format("{}+{}", release.version, release.label);
  manifest.issued_at_ms = release.issued_at_ms;
  manifest.minimum_version = release.minimum_version;
  manifest.key_id = release.key_id;
  manifest.notes_key = release.notes_key;
  for (const PublishedFile& file : release.files) {
    update::FileEntry entry;
    entry.path = file.name;
    entry.bytes = file.bytes.size();
    entry.sha256 = fetch::sha256_hex(file.bytes);
    out[file.name] = file.bytes;
    if (auto made = add_artifact(file, entry, out); !made) return tl::unexpected(made.error());
    if (auto made = add_deltas(file, release.earlier, entry, out); !made) return tl::unexpected(made.error());
    manifest.files.push_back(std::move(entry));
  }
  if (release.faults.edit_manifest) release.faults.edit_manifest(manifest);
  return manifest;
}

// Breaks the published files that the faults name.
void apply_file_faults(const Faults& faults, Publication& out) {
  for (const std::string& name : faults.corrupt) {
    auto found = out.find(name);
    if (found != out.end() && !found->second.empty()) found->second.back() ^= 0x01;
  }
  for (const std::string& name : faults.truncate) {
    auto found = out.find(name);
    if (found != out.end() && !found->second.empty()) found->second.pop_back();
  }
  for (const std::string& name : faults.omit) out.erase(name);
}

Outcome write(const platform::Path& path, platform::ByteView bytes) {
  if (auto written = platform::write_file(path, bytes); !written) {
    return tl::unexpected(fmt::format("cannot write {}: {}", platform::display(path), written.error().text()));
  }
  return {};
}

}  // namespace

platform::Path channel_dir(const platform::Path& root, const std::string& product, const std::string& channel) {
  // release_path begins with "/": the rest is relative to the root.
  return root / platform::path_from_utf8(update::release_path(product, channel).substr(1));
}

std::string artifact_name(const std::string& file) { return file + ".xz"; }

std::string delta_name(const std::string& file, const std::string& from_version) {
  return fmt::format("{}.from-{}", file, from_version);
}

tl::expected<PublishedRelease, std::string> publish_release(const platform::Path& root, const Release& release) {
  Publication out;
  auto manifest = make_manifest(release, out);
  if (!manifest) return tl::unexpected(manifest.error());
  const Faults& faults = release.faults;

  PublishedRelease published;
  published.channel_dir = channel_dir(root, release.serve_product, release.serve_channel);
  published.manifest = std::move(*manifest);
  if (faults.manifest_bytes) {
    published.manifest_bytes = *faults.manifest_bytes;
  } else {
    auto json = update::json::to_json(published.manifest);
    if (!json) return tl::unexpected("the manifest cannot be written: " + json.error().display());
    published.manifest_bytes = platform::to_bytes(*json);
  }
  if (faults.signature_bytes) {
    published.signature = *faults.signature_bytes;
  } else if (!faults.omit_signature) {
    const platform::Bytes& signed_bytes = faults.sign_other_bytes ? *faults.sign_other_bytes : published.manifest_bytes;
    published.signature = faults.signing_seed ? sign_with_seed(*faults.signing_seed, signed_bytes)
                                              : sign_with_test_key(signed_bytes);
  }
  apply_file_faults(faults, out);

  if (auto made = platform::create_dirs(published.channel_dir); !made) {
    return tl::unexpected(
        fmt::format("cannot create {}: {}", platform::display(published.channel_dir), made.error().text()));
  }
  for (const auto& [name, bytes] : out) {
    if (auto written = write(published.channel_dir / name, bytes); !written) return tl::unexpected(written.error());
  }
  const platform::Path signature_path = published.channel_dir / "release.json.sig";
  if (faults.omit_signature && !faults.signature_bytes) {
    if (platform::exists(signature_path)) {
      if (auto removed = platform::remove_file(signature_path); !removed) {
        return tl::unexpected(fmt::format("cannot remove {}: {}", platform::display(signature_path),
                                          removed.error().text()));
      }
    }
  } else if (auto written = write(signature_path, published.signature); !written) {
    return tl::unexpected(written.error());
  }
  // The manifest last, as a publisher would: once it is there, everything it
  // names is.
  if (auto written = write(published.channel_dir / "release.json", published.manifest_bytes); !written) {
    return tl::unexpected(written.error());
  }
  return published;
}

tl::expected<std::vector<PublishedFile>, std::string> files_from_folder(const platform::Path& folder) {
  auto listing = platform::list_dir(folder);
  if (!listing) {
    return tl::unexpected(fmt::format("cannot list {}: {}", platform::display(folder), listing.error().text()));
  }
  if (listing->error) {
    return tl::unexpected(fmt::format("cannot list {}: {}", platform::display(folder), listing->error->text()));
  }
  std::vector<std::string> names = listing->names;
  std::sort(names.begin(), names.end());
  std::vector<PublishedFile> files;
  for (const std::string& name : names) {
    const platform::Path path = folder / name;
    if (!platform::is_regular_file(path)) continue;
    auto bytes = platform::read_file(path);
    if (!bytes) return tl::unexpected(fmt::format("cannot read {}: {}", platform::display(path), bytes.error().text()));
    files.push_back(PublishedFile{.name = name, .bytes = std::move(*bytes)});
  }
  return files;
}

}  // namespace testkit
