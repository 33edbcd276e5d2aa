// The progress callables that staging lends to the file hasher and to the
// downloads: each report becomes a StageEvent::BytesDone, and the cancel flag
// decides whether the operation goes on.
#pragma once

#include <cstdint>
#include <optional>

#include "fetch/progress.hpp"
#include "update/stage/stage_event.hpp"

namespace update {

// Sends every report as StageEvent::BytesDone, then goes on unless the
// cancel flag is set. The sink must outlive the callable.
fetch::ProgressFn forward_hash_progress(StageSink& sink);

// For a download of `expected` bytes: a report whose total is another number
// (the answer announced another length) is stored in `reported_total` and
// stops the download, with no event; any other report is sent as
// StageEvent::BytesDone and goes on unless the cancel flag is set. Once the
// download has failed the caller looks at the slot before the fetch error.
// The sink and the slot must outlive the callable.
fetch::ProgressFn forward_download_progress(std::uint64_t expected, std::optional<std::uint64_t>& reported_total,
                                            StageSink& sink);

}  // namespace update
