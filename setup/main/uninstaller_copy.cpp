#include "setup/main/uninstaller_copy.hpp"

#include <fmt/format.h>

#include "platform/fs.hpp"
#include "platform/process.hpp"

namespace setup {

tl::expected<void, std::string> copy_uninstaller(const platform::Path& install_dir) {
  auto running = platform::current_exe();
  if (!running) return tl::unexpected(running.error().text());
  return copy_uninstaller_from(*running, install_dir);
}

tl::expected<void, std::string> copy_uninstaller_from(const platform::Path& running_program,
                                                      const platform::Path& install_dir) {
  const platform::Path target = install_dir / uninstaller_file_name;
  // Compared component by component: the setup program that runs as the
  // installed uninstaller must not copy itself onto itself.
  if (running_program == target) return {};
  if (auto copied = platform::copy_file_replace(running_program, target); !copied) {
    return tl::unexpected(fmt::format("The uninstaller could not be written: {}", copied.error().text()));
  }
  return {};
}

}  // namespace setup
