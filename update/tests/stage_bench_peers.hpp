// The programs that the staging benchmark measures the rungs against, run on
// the same files: sha256sum, curl, xz -d and bspatch.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <tl/expected.hpp>

#include "update/tests/stage_bench_release.hpp"

namespace stagebench {

// One measured run of one or more programs in a row: the wall time as
// measured here and the largest peak resident size among them.
struct PeerRun {
  double seconds = 0;
  double peak_kib = 0;
};

// sha256sum of the release's files in the channel folder.
tl::expected<PeerRun, std::string> sha256sum_files(const Layout& layout);
// curl fetching the release's files from the host into the scratch folder
// (one curl for all), then sha256sum of what it fetched.
tl::expected<PeerRun, std::string> curl_files_and_sha256sum(const Layout& layout, std::uint16_t port);
// curl fetching the release's xz artifacts into the scratch folder.
tl::expected<PeerRun, std::string> curl_artifacts(const Layout& layout, std::uint16_t port);
// xz -d (one thread, as liblzma decodes in staging) of copies of the
// artifacts, into files.
tl::expected<PeerRun, std::string> xz_decode_artifacts(const Layout& layout);
// bspatch from the earlier file to a new one, with the bsdiff patch.
tl::expected<PeerRun, std::string> bspatch_file(const Layout& layout);

}  // namespace stagebench
