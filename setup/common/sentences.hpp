// The installer's fixed sentences of start, success and refusal.
#pragma once

#include <string>
#include <string_view>

namespace setup {

// "Starting the Morvane installer…"
std::string starting_text();

// "Morvane <version> is installed. Open it from the Start menu or the desktop."
std::string installed_text(std::string_view version);

// "The Morvane installer is already running."
std::string already_running_text();

// "Morvane could not be installed. Run the installer again."
std::string could_not_install_text();

}  // namespace setup
