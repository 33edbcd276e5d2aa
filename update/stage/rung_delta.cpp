// Rung 3: an mvdiff1 patch from the installed copy, when the manifest lists
// one for exactly the installed bytes.
#include <fmt/format.h>

#include "fetch/digest/sha256.hpp"
#include "platform/fs.hpp"
#include "update/delta/mvdiff1.hpp"
#include "update/stage/check_download.hpp"
#include "update/stage/stage_rungs.hpp"
#include "update/store/write_atomic.hpp"

namespace update::stage {

namespace {

// The first delta in list order that is an mvdiff1 patch from these bytes;
// both texts are compared byte for byte.
const Delta* choose_delta(const FileEntry& entry, const std::string& installed_sha256) {
  for (const Delta& delta : entry.deltas) {
    if (delta.format == "mvdiff1" && delta.from_sha256 == installed_sha256) return &delta;
  }
  return nullptr;
}

// The patch downloaded, checked, applied and written to the staged path;
// gives the patch's size.
tl::expected<std::uint64_t, UpdateError> rebuild(StageContext& context, const FileEntry& entry, const Delta& delta,
                                                 platform::ByteView installed, const std::string& installed_sha256,
                                                 const EntryPaths& paths) {
  auto patch = download_named(context, delta.path, delta.bytes);
  if (!patch) return tl::unexpected(std::move(patch.error()));
  if (auto checked = check_download(delta.path, *patch, delta.bytes, delta.sha256); !checked) {
    return tl::unexpected(std::move(checked.error()));
  }
  // The installed bytes were hashed to choose the delta: not again.
  auto rebuilt = apply_mvdiff1(installed, installed_sha256, *patch, entry);
  if (!rebuilt) {
    return tl::unexpected(UpdateError{UpdateError::HashMismatch{delta.path, entry.sha256, std::move(rebuilt.error())}});
  }
  if (auto written = write_atomic(paths.staged, *rebuilt); !written) return tl::unexpected(std::move(written.error()));
  return patch->size();
}

}  // namespace

bool stage_from_delta(StageContext& context, const FileEntry& entry, const EntryPaths& paths) {
  if (!platform::is_regular_file(paths.installed)) return false;
  auto installed = platform::read_file(paths.installed);
  if (!installed) return false;
  const std::string installed_sha256 = fetch::sha256_hex(*installed);
  const Delta* delta = choose_delta(entry, installed_sha256);
  if (delta == nullptr) return false;

  auto moved = rebuild(context, entry, *delta, *installed, installed_sha256, paths);
  if (!moved) {
    context.log(entry, fmt::format("mvdiff1 refused, the next rung instead: {}", display_update_error(moved.error())));
    return false;
  }
  context.log(entry, fmt::format("mvdiff1 from {} \u00b7 {} bytes moved for {}", delta->from_version, *moved,
                                 entry.bytes));
  context.settled(entry, entry.bytes, false);
  context.bytes_moved += *moved;
  return true;
}

}  // namespace update::stage
