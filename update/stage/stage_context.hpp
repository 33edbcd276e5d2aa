// What the rungs of the staging ladder share while one release is staged:
// where it goes, what has moved so far, and the download of a named file.
// Used by stage_release and the rungs (stage_rungs.hpp) only; implemented in
// stage_context.cpp.
#pragma once

#include <cstdint>
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

}  // namespace update::stage
