// The installer's log, <install folder>/updates/setup.log.
#pragma once

#include <string_view>

#include "platform/path.hpp"

namespace setup {

// <install folder>/updates/setup.log.
platform::Path setup_log_path(const platform::Path& install_dir);

// Appends "<milliseconds since 1970> <text>\n", creating the updates folder
// (and the install folder) when missing. Never fails: a log line that cannot
// be written is simply lost.
void append_setup_log(const platform::Path& install_dir, std::string_view text);

}  // namespace setup
