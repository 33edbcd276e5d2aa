#include "setup/common/sentences.hpp"

#include <fmt/format.h>

#include "morvane/config.hpp"

namespace setup {

std::string starting_text() { return fmt::format("Starting the {} installer\u2026", config::product_name); }

std::string installed_text(std::string_view version) {
  return fmt::format("{} {} is installed. Open it from the Start menu or the desktop.", config::product_name, version);
}

std::string already_running_text() { return fmt::format("The {} installer is already running.", config::product_name); }

std::string could_not_install_text() {
  return fmt::format("{} could not be installed. Run the installer again.", config::product_name);
}

}  // namespace setup
