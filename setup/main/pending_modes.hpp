// The install transaction, the uninstall and the window mode. Until each is
// built, this build answers each of them with exit code 1 and one line on
// standard error saying that it does not have it yet.
#pragma once

#include <atomic>
#include <string_view>

#include "platform/path.hpp"
#include "setup/main/install_result.hpp"

namespace setup {

// Installs or updates the product in `install_dir` from `channel`.
InstallResult run_install(const platform::Path& install_dir, std::string_view channel,
                          const std::atomic<bool>& cancel, const StatusSink& sink);

// Removes the installation; ends through finish_mode and answers the exit code.
int run_uninstall(bool quiet);

// The install with a window; answers the exit code.
int run_window_mode();

}  // namespace setup
