// The five rungs of the staging ladder and what they share while one release
// is staged. Used by stage_release only.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include <tl/expected.hpp>

#include "fetch/http/server_url.hpp"
#include "platform/bytes.hpp"
#include "platform/path.hpp"
#include "update/error.hpp"
#include "update/records/manifest.hpp"
#include "update/stage/stage_event.hpp"

namespace update::stage {

struct StageContext {
  const platform::Path& updates_dir;
  const fetch::ServerUrl& server;
  const ReleaseManifest& manifest;
  StageSink& sink;
  platform::Path staging_dir;
  platform::Path install_dir;
  // "/releases/<product>/<channel>"
  std::string base_path;
  std::uint64_t bytes_moved = 0;
  std::uint64_t reused = 0;

  // The base path, a slash and the name.
  std::string request_path(std::string_view name) const;
  // A staged.log line for the entry.
  void log(const FileEntry& entry, std::string_view text) const;
  // Sends StageEvent::FileStaged and counts the file.
  void settled(const FileEntry& entry, std::uint64_t bytes, bool reused);
};

// Where one entry goes and where its installed copy is.
struct EntryPaths {
  platform::Path staged;
  platform::Path installed;
};

// Downloads the name below the base path, expecting `expected` bytes. An
// answer that announces another length is UpdateError::SizeMismatch {request
// path, expected, announced length}; any other failure is the fetch error
// mapped for the request path.
tl::expected<platform::Bytes, UpdateError> download_named(StageContext& context, std::string_view name,
                                                          std::uint64_t expected);

// Rung 1: true when a staged copy with the signed digest was there. A copy
// with another digest is deleted (false). Hashing failures and a failed
// deletion end staging.
tl::expected<bool, UpdateError> reuse_staged_copy(StageContext& context, const FileEntry& entry,
                                                  const EntryPaths& paths);

// Rung 2: true when the installed copy is already this release's file. Any
// failure is a silent false.
bool keep_installed_copy(StageContext& context, const FileEntry& entry, const EntryPaths& paths);

// Rung 3: true when a delta from the installed copy made the file. A refusal
// is logged and gives false, like a rung that does not apply.
bool stage_from_delta(StageContext& context, const FileEntry& entry, const EntryPaths& paths);

// Rung 4: true when the xz artifact decoded to the file. A refusal is logged
// and gives false.
bool stage_from_artifact(StageContext& context, const FileEntry& entry, const EntryPaths& paths);

// Rung 5: the plain file, whose failures end staging.
tl::expected<void, UpdateError> stage_plain_download(StageContext& context, const FileEntry& entry,
                                                     const EntryPaths& paths);

}  // namespace update::stage
