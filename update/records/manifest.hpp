// The release manifest, release.json: one release of one product on one
// channel, with the files it is made of. Reading it never judges whether the
// release is usable; that is for the manifest rules.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <tl/expected.hpp>

#include "platform/bytes.hpp"
#include "update/json/json_error.hpp"

namespace update {

// A compressed copy of a whole file, published next to release.json.
struct Artifact {
  std::string format;
  std::string path;
  std::uint64_t bytes = 0;
  std::string sha256;

  bool operator==(const Artifact&) const = default;
};

// A patch that turns an installed file of an earlier version into this one.
struct Delta {
  std::string format;
  std::string from_version;
  std::string from_sha256;
  std::string path;
  std::uint64_t bytes = 0;
  std::string sha256;

  bool operator==(const Delta&) const = default;
};

// One file of the release, by its name in the install folder.
struct FileEntry {
  std::string path;
  std::uint64_t bytes = 0;
  std::string sha256;
  std::optional<Artifact> compressed;
  std::vector<Delta> deltas;

  bool operator==(const FileEntry&) const = default;
};

struct ReleaseManifest {
  std::string product;
  std::string channel;
  std::string version;
  std::string build;
  // When the release was issued, in milliseconds since 1970-01-01 UTC.
  std::int64_t issued_at_ms = 0;
  std::string minimum_version;
  // The signing key that the publisher names.
  std::optional<std::string> key_id;
  std::vector<FileEntry> files;
  std::optional<std::string> notes_key;

  bool operator==(const ReleaseManifest&) const = default;
};

// Reads the bytes of a whole release.json. The error's display() is the
// reason that a refusal of the manifest gives.
tl::expected<ReleaseManifest, JsonError> parse_release_manifest(platform::ByteView bytes);

// The first entry whose path equals the name byte for byte, or null.
const FileEntry* find_file_entry(const std::vector<FileEntry>& files, std::string_view name);

// The sum of the entries' sizes (modulo 2^64; it only feeds progress figures).
std::uint64_t sum_file_bytes(const std::vector<FileEntry>& files);

}  // namespace update
