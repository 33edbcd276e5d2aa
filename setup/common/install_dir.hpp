// The per-user install folder: %LOCALAPPDATA%\Programs\MORVANE.
#pragma once

#include <string>

#include <tl/expected.hpp>

#include "platform/path.hpp"

namespace setup {

// The install folder, or the sentence saying that the computer gives no
// LOCALAPPDATA folder. The folder is neither created nor looked at here.
tl::expected<platform::Path, std::string> find_install_dir();

}  // namespace setup
