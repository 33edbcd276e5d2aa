#include "update/records/manifest.hpp"

#include "update/records/manifest_tables.hpp"

namespace update {

tl::expected<ReleaseManifest, JsonError> parse_release_manifest(platform::ByteView bytes) {
  return json::parse_json<ReleaseManifest>(bytes);
}

const FileEntry* find_file_entry(const std::vector<FileEntry>& files, std::string_view name) {
  for (const auto& entry : files) {
    if (entry.path == name) return &entry;
  }
  return nullptr;
}

std::uint64_t sum_file_bytes(const std::vector<FileEntry>& files) {
  std::uint64_t total = 0;
  for (const auto& entry : files) total += entry.bytes;
  return total;
}

}  // namespace update
