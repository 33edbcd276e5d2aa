// Rung 5: the plain file, downloaded whole; its failures end staging.
#include "update/stage/check_download.hpp"
#include "update/stage/stage_rungs.hpp"
#include "update/store/write_atomic.hpp"

namespace update::stage {

tl::expected<void, UpdateError> stage_plain_download(StageContext& context, const FileEntry& entry,
                                                     const EntryPaths& paths) {
  context.sink.send({StageEvent::FileStarted{entry.bytes, entry.path, false}});
  auto bytes = download_named(context, entry.path, entry.bytes);
  if (!bytes) return tl::unexpected(std::move(bytes.error()));
  if (auto checked = check_download(entry.path, *bytes, entry.bytes, entry.sha256); !checked) return checked;
  if (auto written = write_atomic(paths.staged, *bytes); !written) return written;
  context.settled(entry, bytes->size(), false);
  context.bytes_moved += bytes->size();
  return {};
}

}  // namespace update::stage
