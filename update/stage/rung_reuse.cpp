// Rung 1: a copy that an earlier run staged, taken when it still has the
// signed digest.
#include "fetch/digest/sha256.hpp"
#include "platform/fs.hpp"
#include "update/stage/stage_progress.hpp"
#include "update/stage/stage_rungs.hpp"
#include "update/store/updates_dir.hpp"

namespace update::stage {

tl::expected<bool, UpdateError> reuse_staged_copy(StageContext& context, const FileEntry& entry,
                                                  const EntryPaths& paths) {
  if (!path_exists(paths.staged)) return false;
  context.sink.send({StageEvent::FileStarted{entry.bytes, entry.path, true}});
  auto digest = fetch::sha256_file_hex(paths.staged, forward_hash_progress(context.sink));
  if (!digest) return tl::unexpected(map_fetch_error(entry.path, std::move(digest.error())));
  if (*digest == entry.sha256) {
    context.settled(entry, entry.bytes, true);
    return true;
  }
  if (auto removed = platform::remove_file(paths.staged); !removed) {
    return tl::unexpected(io_error_at(paths.staged, removed.error()));
  }
  return false;
}

}  // namespace update::stage
