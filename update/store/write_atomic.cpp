#include "update/store/write_atomic.hpp"

#include "platform/fs.hpp"
#include "update/own_file_names.hpp"
#include "update/store/file_moves.hpp"
#include "update/store/updates_dir.hpp"

namespace update {

platform::Path part_path_for(const platform::Path& path) {
  using Text = platform::Path::string_type;
  const Text name = path.filename().native();
  const Text part = platform::path_from_utf8(part_suffix).native();
  const auto dot = name.rfind(platform::Path::value_type('.'));
  const bool no_extension = dot == Text::npos || dot == 0 || name == platform::Path("..").native();
  const Text part_name = no_extension ? name + part : name.substr(0, dot) + part;
  return path.parent_path() / part_name;
}

tl::expected<void, UpdateError> write_atomic(const platform::Path& path, platform::ByteView bytes) {
  const platform::Path parent = path.parent_path();
  if (!parent.empty()) {
    if (auto made = platform::create_dirs(parent); !made) {
      return tl::unexpected(io_error_at(parent, made.error()));
    }
  }

  const platform::Path part = part_path_for(path);
  {
    auto file = platform::File::create_truncate(part);
    if (!file) return tl::unexpected(io_error_at(part, file.error()));
    if (auto written = file->write_all(bytes); !written) {
      return tl::unexpected(io_error_at(part, written.error()));
    }
    if (auto synced = file->sync(); !synced) {
      return tl::unexpected(io_error_at(part, synced.error()));
    }
  }  // closed here

  // The rename replaces an existing file in one step, so a file target is
  // never removed first: a crash must not leave the record missing. Anything
  // else standing at the target is removed first, and a failure (a folder
  // cannot be removed this way) names the target.
  if (path_exists(path) && !platform::is_regular_file(path)) {
    if (auto removed = platform::remove_file(path); !removed) {
      return tl::unexpected(io_error_at(path, removed.error()));
    }
  }

  return move_file(part, path);
}

tl::expected<void, UpdateError> write_json_atomic(const platform::Path& path,
                                                  const tl::expected<std::string, JsonError>& json) {
  if (!json) return tl::unexpected(UpdateError{UpdateError::Io{platform::display(path), json.error().display()}});
  return write_atomic(path, platform::byte_view(*json));
}

}  // namespace update
