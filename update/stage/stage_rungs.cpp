#include "update/stage/stage_rungs.hpp"

#include <fmt/format.h>

#include "fetch/digest/sha256.hpp"
#include "platform/fs.hpp"
#include "update/delta/mvdiff1.hpp"
#include "update/delta/xz_stream.hpp"
#include "update/own_file_names.hpp"
#include "update/stage/capped_file_writer.hpp"
#include "update/stage/check_download.hpp"
#include "update/stage/stage_progress.hpp"
#include "update/store/updates_dir.hpp"
#include "update/store/write_atomic.hpp"

namespace update::stage {

// Rung 1: a copy that an earlier run staged, taken when it still has the
// signed digest.
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

// Rung 2: the installed copy, left where it is when it already is this
// release's file.
bool keep_installed_copy(StageContext& context, const FileEntry& entry, const EntryPaths& paths) {
  if (!platform::is_regular_file(paths.installed)) return false;
  auto meta = platform::metadata(paths.installed);
  if (!meta || meta->size != entry.bytes) return false;
  auto digest = fetch::sha256_file_hex(paths.installed, fetch::always_continue());
  if (!digest || *digest != entry.sha256) return false;
  context.log(entry, "kept: the installed file is this release's");
  context.settled(entry, entry.bytes, true);
  return true;
}

// Rung 3: an mvdiff1 patch from the installed copy, when the manifest lists
// one for exactly the installed bytes.
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

// Rung 4: the xz artifact, decoded into a part file through a writer capped
// at the signed size, checked, put on the disk, then renamed into place.
namespace {

// The decoded file at the part path and then at the staged path. On a
// failure the part file may be left; the caller deletes it.
tl::expected<void, UpdateError> decode_to_staged(const FileEntry& entry, platform::ByteView artifact,
                                                 const platform::Path& part, const platform::Path& staged) {
  const std::string part_text = platform::display(part);
  auto file = platform::File::create_truncate(part);
  if (!file) return tl::unexpected(io_error_at(part, file.error()));
  CappedFileWriter writer(std::move(*file), entry.bytes);

  auto decoded = decode_xz_stream(artifact, [&writer](platform::ByteView piece) { return writer.write(piece); });
  if (!decoded) {
    return tl::unexpected(UpdateError{UpdateError::HashMismatch{
        part_text, fmt::format("an xz stream of at most {} bytes", entry.bytes),
        fmt::format("the decoder refused it: {}", decoded.error())}});
  }
  if (auto flushed = writer.flush(); !flushed) return tl::unexpected(io_error_at(part, flushed.error()));
  if (writer.written() != entry.bytes) {
    return tl::unexpected(UpdateError{UpdateError::SizeMismatch{part_text, entry.bytes, writer.written()}});
  }
  // The swap moves the staged file into place and its journal then says so:
  // the bytes must be on the disk before the name is.
  if (auto synced = writer.sync(); !synced) return tl::unexpected(io_error_at(part, synced.error()));
  writer.close();

  auto digest = fetch::sha256_file_hex(part, fetch::always_continue());
  if (!digest) return tl::unexpected(map_fetch_error(entry.path, std::move(digest.error())));
  if (*digest != entry.sha256) {
    return tl::unexpected(UpdateError{UpdateError::HashMismatch{part_text, entry.sha256, std::move(*digest)}});
  }
  if (auto renamed = platform::rename_replace(part, staged); !renamed) {
    return tl::unexpected(io_error_at(staged, renamed.error()));
  }
  return {};
}

// The artifact downloaded, checked and decoded into place; gives its size.
tl::expected<std::uint64_t, UpdateError> stage_artifact(StageContext& context, const FileEntry& entry,
                                                        const Artifact& artifact, const EntryPaths& paths) {
  auto bytes = download_named(context, artifact.path, artifact.bytes);
  if (!bytes) return tl::unexpected(std::move(bytes.error()));
  if (auto checked = check_download(artifact.path, *bytes, artifact.bytes, artifact.sha256); !checked) {
    return tl::unexpected(std::move(checked.error()));
  }
  const platform::Path part = context.staging_dir / platform::path_from_utf8(entry.path + std::string(part_suffix));
  if (auto decoded = decode_to_staged(entry, *bytes, part, paths.staged); !decoded) {
    (void)platform::remove_file(part);
    return tl::unexpected(std::move(decoded.error()));
  }
  return bytes->size();
}

}  // namespace

bool stage_from_artifact(StageContext& context, const FileEntry& entry, const EntryPaths& paths) {
  if (!entry.compressed || entry.compressed->format != "xz") return false;
  auto moved = stage_artifact(context, entry, *entry.compressed, paths);
  if (!moved) {
    context.log(entry, fmt::format("xz refused, the plain file instead: {}", display_update_error(moved.error())));
    return false;
  }
  context.log(entry, fmt::format("xz \u00b7 {} bytes moved for {}", *moved, entry.bytes));
  context.settled(entry, entry.bytes, false);
  context.bytes_moved += *moved;
  return true;
}

// Rung 5: the plain file, downloaded whole; its failures end staging.
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
