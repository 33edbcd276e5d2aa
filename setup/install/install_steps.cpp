#include "setup/install/install_steps.hpp"

#include "setup/install/install_report.hpp"
#include "setup/install/installed_version.hpp"
#include "setup/install/shortcuts.hpp"
#include "setup/install/uninstall_entry.hpp"
#include "setup/install/uninstaller_copy.hpp"

namespace setup {

InstallSteps product_install_steps() {
  InstallSteps steps;
  steps.read_installed_version = [](const platform::Path& install_dir) { return read_installed_version(install_dir); };
  steps.copy_uninstaller = [](const platform::Path& install_dir) { return copy_uninstaller(install_dir); };
  steps.make_shortcuts = [](const platform::Path& product_exe) { return make_shortcuts(product_exe); };
  steps.write_uninstall_entry = [](const platform::Path& install_dir, const platform::Path& product_exe,
                                   std::string_view version) {
    return write_uninstall_entry(install_dir, product_exe, std::string(version));
  };
  steps.send_install_report = [](std::string_view kind, std::string_view version) {
    send_install_report(kind, std::string(version));
  };
  return steps;
}

}  // namespace setup
