// Staging a verified release: every file it lists brought into
// updates/pending/<version>, byte for byte as signed, by the cheapest of five
// rungs tried in order (a copy staged by an earlier run, the installed copy
// itself, an mvdiff1 delta from the installed copy, the xz artifact, the
// plain file), before anything in the install folder is touched.
#pragma once

#include <cstdint>
#include <string>

#include <tl/expected.hpp>

#include "fetch/http/server_url.hpp"
#include "platform/path.hpp"
#include "update/check/verify_release.hpp"
#include "update/error.hpp"
#include "update/stage/stage_event.hpp"

namespace update {

struct StagedRelease {
  std::string version;
  platform::Path pending_dir;
  // Bytes downloaded for the entries that a rung settled: the patch for a
  // delta, the artifact for xz, the file for a plain download. Downloads of
  // a refused rung are not counted.
  std::uint64_t bytes_moved = 0;
  // Files settled by a staged copy or the installed copy.
  std::uint64_t reused = 0;

  bool operator==(const StagedRelease&) const = default;
};

// Stages every file of the release into updates/pending/<version> (made with
// its parents; a folder left by an earlier run is reused, never emptied),
// then writes the manifest's bytes and the signature there as release.json
// and release.json.sig. Requests go to the server for
// "/releases/<product>/<channel>/<name>". Events go to the sink; the cancel
// flag is read before each file and in every progress report of the reuse,
// delta, xz and plain rungs. The first failure that the ladder does not
// absorb ends staging; what was staged so far stays on disk.
tl::expected<StagedRelease, UpdateError> stage_release(const platform::Path& updates_dir,
                                                       const fetch::ServerUrl& server,
                                                       const VerifiedRelease& release, StageSink& sink,
                                                       const platform::Path& install_dir);

}  // namespace update
