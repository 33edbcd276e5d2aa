#include "update/stage/verify_staged.hpp"

#include "fetch/digest/sha256.hpp"
#include "platform/fs.hpp"
#include "update/store/updates_dir.hpp"

namespace update {

namespace {

platform::Path choose_file(const platform::Path& folder, const FileEntry& entry,
                           const std::optional<platform::Path>& fallback) {
  const platform::Path name = platform::path_from_utf8(entry.path);
  platform::Path chosen = folder / name;
  if (fallback && !path_exists(chosen)) {
    platform::Path installed = *fallback / name;
    if (platform::is_regular_file(installed)) chosen = std::move(installed);
  }
  return chosen;
}

tl::expected<void, UpdateError> verify_one(const platform::Path& chosen, const FileEntry& entry) {
  if (!path_exists(chosen)) return tl::unexpected(UpdateError{UpdateError::Incomplete{platform::display(chosen)}});
  auto meta = platform::metadata(chosen);
  if (!meta) return tl::unexpected(io_error_at(chosen, meta.error()));
  if (meta->size != entry.bytes) {
    return tl::unexpected(UpdateError{UpdateError::SizeMismatch{platform::display(chosen), entry.bytes, meta->size}});
  }
  auto digest = fetch::sha256_file_hex(chosen, fetch::always_continue());
  if (!digest) return tl::unexpected(map_fetch_error(entry.path, std::move(digest.error())));
  if (*digest != entry.sha256) {
    return tl::unexpected(
        UpdateError{UpdateError::HashMismatch{platform::display(chosen), entry.sha256, std::move(*digest)}});
  }
  return {};
}

}  // namespace

tl::expected<void, UpdateError> verify_staged(const platform::Path& folder, const std::vector<FileEntry>& files,
                                              const std::optional<platform::Path>& fallback) {
  for (const FileEntry& entry : files) {
    if (auto checked = verify_one(choose_file(folder, entry, fallback), entry); !checked) return checked;
  }
  return {};
}

}  // namespace update
