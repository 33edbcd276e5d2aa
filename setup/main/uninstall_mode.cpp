#include "setup/main/uninstall_mode.hpp"

#include "setup/common/delayed_removal.hpp"
#include "setup/install/install_report.hpp"
#include "setup/main/mode_end.hpp"
#include "setup/uninstall/uninstall.hpp"

namespace setup {

int run_uninstall(bool quiet) {
  const auto uninstalled = remove_installation();
  if (!uninstalled) return finish_mode(tl::unexpected(uninstalled.error()), quiet);

  send_install_report("uninstalled", uninstalled->version);
  const int exit_code = finish_mode(uninstalled_text(), quiet);
  // Last, when nothing else is left to do: the running program's file can
  // go only once the program has ended.
  if (uninstalled->left) (void)start_delayed_removal(*uninstalled->left);
  return exit_code;
}

}  // namespace setup
