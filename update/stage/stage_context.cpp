#include "update/stage/stage_context.hpp"

#include <utility>

#include "fetch/http/download.hpp"
#include "update/stage/stage_progress.hpp"
#include "update/stage/staged_log.hpp"

namespace update::stage {

std::string StageContext::request_path(std::string_view name) const {
  std::string path = base_path;
  path += '/';
  path += name;
  return path;
}

void StageContext::log(const FileEntry& entry, std::string_view text) const {
  log_staged(updates_dir, manifest.version, entry.path, text);
}

void StageContext::settled(const FileEntry& entry, std::uint64_t bytes, bool was_reused) {
  sink.send({StageEvent::FileStaged{entry.path, bytes, was_reused}});
  if (was_reused) ++reused;
}

tl::expected<platform::Bytes, UpdateError> download_named(StageContext& context, std::string_view name,
                                                          std::uint64_t expected) {
  const std::string path = context.request_path(name);
  std::optional<std::uint64_t> reported_total;
  auto bytes = fetch::download_with_fallback(context.server, path, expected,
                                             forward_download_progress(expected, reported_total, context.sink));
  if (bytes) return std::move(*bytes);
  // The announced length explains the failure better than the stop it caused.
  if (reported_total) return tl::unexpected(UpdateError{UpdateError::SizeMismatch{path, expected, *reported_total}});
  return tl::unexpected(map_fetch_error(path, std::move(bytes.error())));
}

}  // namespace update::stage
