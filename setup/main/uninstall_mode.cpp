#include "setup/main/uninstall_mode.hpp"

#include "setup/common/delayed_removal.hpp"
#include "setup/install/install_report.hpp"
#include "setup/main/mode_end.hpp"
#include "setup/uninstall/uninstall.hpp"

namespace setup {

int run_uninstall(bool quiet) {
  const auto uninstalled = remove_installation();
  if (!uninstalled) return finish_mode(tl::unexpected(uninstalled.error()), quiet);

  const auto start_removal = [&] {
    if (auto removal = install_folder_removal(uninstalled->install_dir)) (void)start_delayed_removal(*removal);
  };
  if (quiet) {
    start_removal();
    send_install_report("uninstalled", uninstalled->version);
    return finish_mode(uninstalled_text(), quiet);
  }
  send_install_report("uninstalled", uninstalled->version);
  const int exit_code = finish_mode(uninstalled_text(), quiet);
  start_removal();
  return exit_code;
}

}  // namespace setup
