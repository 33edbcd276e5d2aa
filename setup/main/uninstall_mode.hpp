// The uninstall mode: the uninstall's work, its report and its final box.
#pragma once

namespace setup {

// remove_installation, then the report and the final box unless `quiet` is
// set. The delayed removal of what is left (the running uninstaller's moved
// file, which cannot be removed while it runs) starts when the uninstaller
// is about to end, after the report has been waited for and the box
// answered, in both modes. Answers the exit code.
int run_uninstall(bool quiet);

}  // namespace setup
