// The installed version as the uninstall registry entry records it.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "setup/common/hidden_command.hpp"

namespace setup {

// The DisplayVersion in what `reg query` printed (invalid UTF-8 replaced),
// read as platform::reg_query_data reads a REG_SZ value: the first line that,
// with white space removed, begins with "DisplayVersion"; what follows the
// name, trimmed, with every leading "REG_SZ" taken off (and the white space
// after each). Nothing when no line begins so or the rest is empty. Later
// lines are not looked at.
std::optional<std::string> display_version_in(std::string_view reg_output);

// Runs `reg query <uninstall key> /v DisplayVersion` hidden and reads its
// standard output (whatever its exit code); nothing when it cannot be run.
std::optional<std::string> read_display_version();
std::optional<std::string> read_display_version_with(const platform::HiddenRunner& run);

}  // namespace setup
