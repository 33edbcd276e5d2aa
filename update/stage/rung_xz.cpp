// Rung 4: the xz artifact, decoded into a part file through a writer capped
// at the signed size, checked, put on the disk, then renamed into place.
#include <fmt/format.h>

#include "fetch/digest/sha256.hpp"
#include "platform/fs.hpp"
#include "update/delta/xz_stream.hpp"
#include "update/own_file_names.hpp"
#include "update/stage/capped_file_writer.hpp"
#include "update/stage/check_download.hpp"
#include "update/stage/stage_rungs.hpp"

namespace update::stage {

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

}  // namespace update::stage
