// The window mode: the setup window on the system's own window layer.
#pragma once

namespace setup {

// Claims the setup mutex, finds the install folder and runs the window on
// the system's own layer. Answers the exit code, or ends the process at once
// on a cancelled run whose worker is still busy.
int run_window_mode();

}  // namespace setup
