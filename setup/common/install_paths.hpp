// Names and places of the installation that the install, the window and the
// uninstall share.
#pragma once

#include <string>

#include "platform/path.hpp"

namespace setup {

// "Global\MORVANE.instance": the mutex that the product holds while it runs.
std::string product_instance_mutex_name();

// Where a failed first install leaves its setup.log: the user's temporary
// folder joined with "morvane-setup-<h>.log", h being the low 32 bits of the
// FNV-1a hash of the install folder's displayed text, as eight lower-case
// hexadecimal digits. The same folder always gives the same path.
platform::Path temp_log_path(const platform::Path& install_dir);

}  // namespace setup
