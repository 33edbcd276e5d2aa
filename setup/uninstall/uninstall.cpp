#include "setup/uninstall/uninstall.hpp"

#include <fmt/format.h>

#include "morvane/config.hpp"
#include "platform/process.hpp"
#include "setup/common/install_dir.hpp"
#include "setup/install/shortcuts.hpp"
#include "setup/install/uninstall_entry.hpp"
#include "setup/install/uninstaller_copy.hpp"
#include "setup/uninstall/display_version.hpp"
#include "update/own_file_names.hpp"

namespace setup {

std::string uninstalled_text() {
  return fmt::format("{} is removed. Your data is kept in %LOCALAPPDATA%\\{} and is there if it is installed again.",
                     config::product_name, config::product_upper);
}

std::string removal_failed_text(const platform::Path& entry, const platform::IoError& error) {
  return fmt::format("{} could not be removed ({}). If {} is open, close it and uninstall again.",
                     platform::display(entry), error.text(), config::product_name);
}

platform::IoResult<void> remove_install_entry(const platform::Path& entry) {
  // A link in the install folder goes as the link itself: the removal never
  // leads outside the folder.
  return platform::remove_entry(entry);
}

tl::expected<void, std::string> empty_install_folder_with(const RemoveEntry& remove,
                                                          const platform::Path& install_dir) {
  auto listing = platform::list_dir(install_dir);
  if (!listing) return {};
  // Entries listed before a failure part-way are still removed; the rest of
  // the folder goes with the delayed removal.
  for (const std::string& name : listing->names) {
    if (name == update::uninstaller_file_name) continue;
    const platform::Path entry = install_dir / platform::path_from_utf8(name);
    if (auto removed = remove(entry); !removed) return tl::unexpected(removal_failed_text(entry, removed.error()));
  }
  return {};
}

tl::expected<void, std::string> empty_install_folder(const platform::Path& install_dir) {
  return empty_install_folder_with(&remove_install_entry, install_dir);
}

std::optional<DelayedRemoval> install_folder_removal(const platform::Path& install_dir) {
  return delayed_removal(install_dir, 3);
}

tl::expected<Uninstalled, std::string> remove_installation() {
  auto install_dir = find_install_dir();
  if (!install_dir) return tl::unexpected(install_dir.error());

  std::optional<std::string> version = read_display_version();

  auto shortcuts = shortcut_paths();
  if (!shortcuts) return tl::unexpected(shortcuts.error());
  for (const platform::Path& shortcut : *shortcuts) (void)platform::remove_file(shortcut);

  (void)platform::run_hidden("reg", {"delete", uninstall_key_path(), "/f"});

  if (auto emptied = empty_install_folder(*install_dir); !emptied) return tl::unexpected(emptied.error());
  return Uninstalled{.install_dir = std::move(*install_dir), .version = std::move(version)};
}

}  // namespace setup
