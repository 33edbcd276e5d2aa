// The uninstall mode: the uninstall's work, its report and its final box.
#pragma once

namespace setup {

// remove_installation, then the report and the final box unless `quiet` is
// set. The delayed removal starts when the uninstaller is about to end,
// after the box has been answered and the report waited for, since the
// running uninstall.exe cannot be removed; a quiet uninstall starts it
// before the report's wait. Answers the exit code.
int run_uninstall(bool quiet);

}  // namespace setup
