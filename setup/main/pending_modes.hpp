// The window mode (setup/window/window_run.hpp). The install transaction is
// in run_install.hpp, the uninstall in uninstall.hpp.
#pragma once

#include <atomic>
#include <string_view>

#include "platform/path.hpp"
#include "setup/main/install_result.hpp"
#include "setup/main/run_install.hpp"

namespace setup {

// The install with a window; answers the exit code.
int run_window_mode();

}  // namespace setup
