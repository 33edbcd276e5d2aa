#include "setup/main/mode_end.hpp"

#include "setup/common/message_boxes.hpp"

namespace setup {

int finish_mode(const ModeOutcome& outcome, bool quiet) {
  if (outcome) {
    if (!quiet) show_message_box(success_caption(), *outcome, false);
    return 0;
  }
  if (!quiet) show_message_box(failure_caption(), outcome.error(), true);
  return 1;
}

}  // namespace setup
