#include "setup/install/uninstall_entry.hpp"

#include <fmt/format.h>

#include "morvane/config.hpp"
#include "platform/process.hpp"
#include "setup/install/uninstaller_copy.hpp"
#include "update/own_file_names.hpp"

namespace setup {

std::string uninstall_key_path() {
  return fmt::format("HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\{}", config::product_upper);
}

std::vector<RegistryValue> uninstall_entry_values(const platform::Path& install_dir, const platform::Path& product_exe,
                                                  const std::string& version) {
  const std::string uninstaller = platform::display(install_dir / update::uninstaller_file_name);
  return {
      {"DisplayName", "REG_SZ", std::string(config::product_name)},
      {"DisplayVersion", "REG_SZ", version},
      {"Publisher", "REG_SZ", std::string(config::product_name)},
      {"InstallLocation", "REG_SZ", platform::display(install_dir)},
      {"DisplayIcon", "REG_SZ", platform::display(product_exe)},
      {"UninstallString", "REG_SZ", fmt::format("\"{}\" --uninstall", uninstaller)},
      {"NoModify", "REG_DWORD", "1"},
  };
}

tl::expected<void, std::string> write_uninstall_entry_with(const platform::HiddenRunner& run,
                                                           const platform::Path& install_dir,
                                                           const platform::Path& product_exe,
                                                           const std::string& version) {
  const std::string key = uninstall_key_path();
  for (const RegistryValue& value : uninstall_entry_values(install_dir, product_exe, version)) {
    const std::vector<std::string> args = {"add", key, "/v", value.name, "/t", value.type, "/d", value.data, "/f"};
    if (auto written = run_to_success(run, "reg", args); !written) {
      return tl::unexpected(fmt::format("The uninstall entry could not be written: {}", written.error()));
    }
  }
  return {};
}

tl::expected<void, std::string> write_uninstall_entry(const platform::Path& install_dir,
                                                      const platform::Path& product_exe, const std::string& version) {
  return write_uninstall_entry_with(&platform::run_hidden, install_dir, product_exe, version);
}

}  // namespace setup
