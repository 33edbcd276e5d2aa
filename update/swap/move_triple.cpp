#include "update/swap/move_triple.hpp"

#include "platform/fs.hpp"
#include "update/store/file_moves.hpp"
#include "update/store/updates_dir.hpp"

namespace update {

namespace {

// Moves a file to a place whose folder may not exist: a new file of the
// release can live in a folder that the installation does not have yet, and
// the pending folder may have been removed since the swap began. A missing
// folder is made first.
tl::expected<void, UpdateError> move_into_folder(const platform::Path& from, const platform::Path& to) {
  const platform::Path folder = to.parent_path();
  if (!folder.empty()) {
    const auto meta = platform::metadata(folder);
    if (!meta || !meta->is_dir) {
      if (auto made = platform::create_dirs(folder); !made) {
        return tl::unexpected(io_error_at(folder, made.error()));
      }
    }
  }
  return move_file(from, to);
}

}  // namespace

MoveTriple companion_paths(const Companion& companion) {
  return {platform::path_from_utf8(companion.target), platform::path_from_utf8(companion.aside),
          platform::path_from_utf8(companion.incoming)};
}

MoveTriple main_paths(const SwapJournal& journal) {
  return {platform::path_from_utf8(journal.target), platform::path_from_utf8(journal.aside),
          platform::path_from_utf8(journal.incoming)};
}

tl::expected<void, UpdateError> roll_forward(const MoveTriple& paths) {
  if (path_exists(paths.incoming)) {
    if (path_exists(paths.target)) {
      if (auto moved = move_file(paths.target, paths.aside); !moved) return moved;
    }
    return move_into_folder(paths.incoming, paths.target);
  }
  if (!path_exists(paths.target) && path_exists(paths.aside)) {
    // The new file is gone: the old one goes back into place.
    return move_file(paths.aside, paths.target);
  }
  return {};
}

tl::expected<void, UpdateError> roll_back(const MoveTriple& paths) {
  if (path_exists(paths.aside)) {
    // The old file at target, the new one still staged: the aside is stale,
    // and putting it back would bring an older release's file in.
    if (path_exists(paths.target) && path_exists(paths.incoming)) return {};
    if (path_exists(paths.target)) {
      if (auto moved = move_into_folder(paths.target, paths.incoming); !moved) return moved;
    }
    return move_file(paths.aside, paths.target);
  }
  if (path_exists(paths.target) && !path_exists(paths.incoming)) {
    // A file that had no predecessor goes back to where it was staged.
    return move_into_folder(paths.target, paths.incoming);
  }
  return {};
}

}  // namespace update
