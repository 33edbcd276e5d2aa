// The splash's one line about the install's progress.
#pragma once

#include <string>

#include "setup/common/install_result.hpp"

namespace setup {

// "Asking for the newest Morvane…" while starting;
// "Downloading Morvane <v> — <done> of <total> MB" (decimal megabytes, each
// rounded up); "Checking Morvane <v>…"; "Installing Morvane <v>…". A status
// without a version leaves the version empty.
std::string format_status_line(const SetupStatus& status);

}  // namespace setup
