#include "setup/install/stage_tracker.hpp"

namespace setup {

void on_stage_event(StageTracker& tracker, const update::StageEvent& event) {
  using Event = update::StageEvent;
  if (const auto* bytes = event.get<Event::BytesDone>()) {
    tracker.status.done_bytes = tracker.done_base + bytes->done;
    tracker.sink(tracker.status);
  } else if (const auto* staged = event.get<Event::FileStaged>()) {
    tracker.done_base += staged->bytes;
    if (!staged->reused) tracker.fetched = true;
    tracker.status.done_bytes = tracker.done_base;
    tracker.status.files_done += 1;
    tracker.sink(tracker.status);
  }
}

}  // namespace setup
