#include "setup/main/setup_mutex.hpp"

#include <fmt/format.h>

#include "morvane/config.hpp"
#include "platform/named_mutex.hpp"

namespace setup {

std::string setup_mutex_name() { return fmt::format("Local\\{}.setup", config::product_upper); }

// The platform layer hands the name to the system in its own form (UTF-16
// through to_wide on Windows) and keeps the claim for the life of the process.
bool claim_setup_mutex() { return platform::claim_named_mutex(setup_mutex_name()); }

}  // namespace setup
