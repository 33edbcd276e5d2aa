#include "setup/install/shortcuts.hpp"

#include <fmt/format.h>

#include "morvane/config.hpp"
#include "platform/env.hpp"
#include "platform/fs.hpp"
#include "platform/powershell_quotes.hpp"
#include "platform/process.hpp"

namespace setup {

tl::expected<std::vector<platform::Path>, std::string> shortcut_paths() {
  const std::string file_name = fmt::format("{}.lnk", config::product_name);
  const auto app_data = platform::env_var("APPDATA");
  if (!app_data) return tl::unexpected(std::string("This computer gives no APPDATA folder."));
  const auto profile = platform::env_var("USERPROFILE");
  if (!profile) return tl::unexpected(std::string("This computer gives no USERPROFILE folder."));
  return std::vector<platform::Path>{
      platform::path_from_utf8(*app_data) / "Microsoft" / "Windows" / "Start Menu" / "Programs" /
          platform::path_from_utf8(file_name),
      platform::path_from_utf8(*profile) / "Desktop" / platform::path_from_utf8(file_name),
  };
}

std::string quote_for_powershell(const platform::Path& path) {
  return platform::powershell_single_quoted_body(platform::display(path));
}

std::string shortcut_script(const platform::Path& shortcut, const platform::Path& target,
                            const platform::Path& working_dir) {
  return fmt::format(
      "$s = (New-Object -ComObject WScript.Shell).CreateShortcut('{}'); $s.TargetPath = '{}'; "
      "$s.WorkingDirectory = '{}'; $s.Save()",
      quote_for_powershell(shortcut), quote_for_powershell(target), quote_for_powershell(working_dir));
}

tl::expected<void, std::string> make_shortcuts_with(const platform::HiddenRunner& run,
                                                    const platform::Path& product_exe) {
  auto paths = shortcut_paths();
  if (!paths) return tl::unexpected(paths.error());
  const platform::Path working_dir = product_exe.has_parent_path() ? product_exe.parent_path() : product_exe;
  for (const platform::Path& shortcut : *paths) {
    const std::vector<std::string> args = {"-NoProfile", "-NonInteractive", "-Command",
                                           shortcut_script(shortcut, product_exe, working_dir)};
    if (auto made = run_to_success(run, "powershell", args); !made) {
      return tl::unexpected(fmt::format("A shortcut could not be made: {}", made.error()));
    }
    // A powershell that ends well without saving the shortcut (a stand-in
    // that runs nothing, a policy that stops scripts) has made nothing.
    if (!platform::is_regular_file(shortcut)) {
      return tl::unexpected(
          fmt::format("A shortcut could not be made: powershell made no {}", platform::display(shortcut)));
    }
  }
  return {};
}

tl::expected<void, std::string> make_shortcuts(const platform::Path& product_exe) {
  return make_shortcuts_with(&platform::run_hidden, product_exe);
}

}  // namespace setup
