// The single-instance guard of the setup program.
#pragma once

#include <string>

namespace setup {

// "Local\MORVANE.setup".
std::string setup_mutex_name();

// True when this process now owns the setup mutex; false when it exists
// already (in another process, or from an earlier claim of this one) or could
// not be made. Once owned it stays with the process until the process ends.
bool claim_setup_mutex();

}  // namespace setup
