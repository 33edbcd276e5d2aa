// The per-user uninstall registry entry, written with `reg add`.
#pragma once

#include <string>
#include <vector>

#include <tl/expected.hpp>

#include "platform/path.hpp"
#include "setup/common/hidden_command.hpp"

namespace setup {

// "HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\MORVANE".
std::string uninstall_key_path();

// One value of the entry: its name, its type ("REG_SZ" or "REG_DWORD") and
// its data as `reg add` takes it.
struct RegistryValue {
  std::string name;
  std::string type;
  std::string data;
  bool operator==(const RegistryValue&) const = default;
};

// The entry's seven values in the order they are written: DisplayName,
// DisplayVersion, Publisher, InstallLocation, DisplayIcon, UninstallString
// ("\"<install folder>\uninstall.exe\" --uninstall") and NoModify (1).
std::vector<RegistryValue> uninstall_entry_values(const platform::Path& install_dir, const platform::Path& product_exe,
                                                  const std::string& version);

// Writes the values one `reg add` at a time; the first failure ends it ("The
// uninstall entry could not be written: <error or the command's trimmed
// standard error>"), and the values written stay.
tl::expected<void, std::string> write_uninstall_entry(const platform::Path& install_dir,
                                                      const platform::Path& product_exe, const std::string& version);
tl::expected<void, std::string> write_uninstall_entry_with(const platform::HiddenRunner& run,
                                                           const platform::Path& install_dir,
                                                           const platform::Path& product_exe,
                                                           const std::string& version);

}  // namespace setup
