#include "update/stage/stage_release.hpp"

#include "platform/fs.hpp"
#include "update/check/release_path.hpp"
#include "update/own_file_names.hpp"
#include "update/stage/stage_rungs.hpp"
#include "update/store/updates_dir.hpp"
#include "update/store/write_atomic.hpp"

namespace update {

namespace {

// Rungs 1 to 5 for one entry; the first that settles it ends its turn.
tl::expected<void, UpdateError> stage_entry(stage::StageContext& context, const FileEntry& entry) {
  const platform::Path name = platform::path_from_utf8(entry.path);
  const stage::EntryPaths paths{context.staging_dir / name, context.install_dir / name};

  auto reused = stage::reuse_staged_copy(context, entry, paths);
  if (!reused) return tl::unexpected(std::move(reused.error()));
  if (*reused) return {};
  if (stage::keep_installed_copy(context, entry, paths)) return {};
  if (stage::stage_from_delta(context, entry, paths)) return {};
  if (stage::stage_from_artifact(context, entry, paths)) return {};
  return stage::stage_plain_download(context, entry, paths);
}

}  // namespace

tl::expected<StagedRelease, UpdateError> stage_release(const platform::Path& updates_dir,
                                                       const fetch::ServerUrl& server,
                                                       const VerifiedRelease& release, StageSink& sink,
                                                       const platform::Path& install_dir) {
  const ReleaseManifest& manifest = release.manifest;
  const platform::Path staging_dir = pending_dir(updates_dir, manifest.version);
  if (auto ready = ensure_updates_dir(updates_dir); !ready) return tl::unexpected(std::move(ready.error()));
  if (auto made = platform::create_dirs(staging_dir); !made) {
    return tl::unexpected(io_error_at(staging_dir, made.error()));
  }

  stage::StageContext context{updates_dir, server, manifest, sink, staging_dir, install_dir,
                              release_path(manifest.product, manifest.channel)};
  sink.send({StageEvent::Planned{manifest.files.size(), sum_file_bytes(manifest.files)}});

  for (const FileEntry& entry : manifest.files) {
    if (sink.cancelled()) return tl::unexpected(UpdateError{UpdateError::Cancelled{}});
    if (auto staged = stage_entry(context, entry); !staged) return tl::unexpected(std::move(staged.error()));
  }

  if (auto written = write_atomic(staging_dir / manifest_file_name, release.manifest_bytes); !written) {
    return tl::unexpected(std::move(written.error()));
  }
  if (auto written = write_atomic(staging_dir / signature_file_name, release.signature); !written) {
    return tl::unexpected(std::move(written.error()));
  }
  return StagedRelease{manifest.version, staging_dir, context.bytes_moved, context.reused};
}

}  // namespace update
