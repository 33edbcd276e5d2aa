#include "update/store/file_moves.hpp"

#include "platform/fs.hpp"
#include "update/store/updates_dir.hpp"

namespace update {

tl::expected<void, UpdateError> move_file(const platform::Path& from, const platform::Path& to) {
  if (auto moved = platform::rename_replace(from, to); !moved) return tl::unexpected(io_error_at(from, moved.error()));
  return {};
}

tl::expected<void, UpdateError> remove_stale(const platform::Path& path) {
  if (!path_exists(path)) return {};
  if (auto removed = platform::remove_entry(path); !removed) return tl::unexpected(io_error_at(path, removed.error()));
  return {};
}

}  // namespace update
