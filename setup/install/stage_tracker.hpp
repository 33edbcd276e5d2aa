// Turns staging's events into the install's Downloading statuses.
#pragma once

#include <cstdint>

#include "setup/common/install_result.hpp"
#include "update/stage/stage_event.hpp"

namespace setup {

// The state behind the staging handler, alive while one release is staged.
struct StageTracker {
  // The Downloading status of the run, updated in place.
  SetupStatus status;
  // The signed sizes of the files settled so far.
  std::uint64_t done_base = 0;
  // Where each status goes; lent by the run.
  const StatusSink& sink;
  // A file was settled by downloading something.
  bool fetched = false;
};

// BytesDone: done_bytes becomes done_base plus the event's done, and the
// status is sent. FileStaged: its bytes join done_base, a file not reused
// marks the run as fetched, done_bytes becomes done_base, files_done grows
// by one, and the status is sent. Planned and FileStarted send nothing.
void on_stage_event(StageTracker& tracker, const update::StageEvent& event);

}  // namespace setup
