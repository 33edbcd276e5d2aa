// The steps of an install that reach outside the transaction: reading the
// installed product's version, and what follows once the release is in place
// (the uninstaller, the shortcuts, the uninstall entry, the report).
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include <tl/expected.hpp>

#include "platform/path.hpp"

namespace setup {

struct InstallSteps {
  // The version of the install folder's morvane.exe, or none.
  std::function<std::optional<std::string>(const platform::Path& install_dir)> read_installed_version;
  // <install folder>/uninstall.exe.
  std::function<tl::expected<void, std::string>(const platform::Path& install_dir)> copy_uninstaller;
  // The Start menu and desktop shortcuts to the product's executable.
  std::function<tl::expected<void, std::string>(const platform::Path& product_exe)> make_shortcuts;
  // The per-user uninstall registry entry.
  std::function<tl::expected<void, std::string>(const platform::Path& install_dir, const platform::Path& product_exe,
                                                std::string_view version)>
      write_uninstall_entry;
  // The install report ("installed" or "reinstalled"); returns within about
  // three seconds.
  std::function<void(std::string_view kind, std::string_view version)> send_install_report;
};

// The real steps.
InstallSteps product_install_steps();

}  // namespace setup
