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

platform::Path moved_uninstaller(const platform::Path& install_dir, unsigned long process_id) {
  return install_dir.parent_path() / fmt::format("{}-uninstall-{}.exe", config::product_lower, process_id);
}

FolderEnd system_folder_end() {
  return {
      .exists = [](const platform::Path& path) { return platform::exists(path); },
      .rename = [](const platform::Path& from, const platform::Path& to) { return platform::rename_replace(from, to); },
      .remove_file = [](const platform::Path& path) { return platform::remove_file(path); },
      .remove_empty_dir = [](const platform::Path& path) { return platform::remove_empty_dir(path); },
  };
}

std::optional<DelayedRemoval> end_install_folder_with(const FolderEnd& end, const platform::Path& install_dir,
                                                      unsigned long process_id) {
  const platform::Path uninstaller = install_dir / update::uninstaller_file_name;
  const platform::Path moved = moved_uninstaller(install_dir, process_id);
  const bool has_uninstaller = end.exists(uninstaller);
  // An uninstaller that cannot leave keeps the folder: nothing may remove the
  // folder by its name later, when it may hold a new installation.
  if (has_uninstaller && !end.rename(uninstaller, moved)) return std::nullopt;
  // Empty now, unless something came in meanwhile, which stays with it.
  (void)end.remove_empty_dir(install_dir);
  if (!has_uninstaller || end.remove_file(moved)) return std::nullopt;
  // The running program's file, which Windows lets go of when it ends.
  return delayed_file_removal(moved, 3);
}

std::optional<DelayedRemoval> end_install_folder(const platform::Path& install_dir) {
  // Windows removes no folder that a process works in, and the uninstaller
  // may have been started in its own.
  (void)platform::leave_working_dir();
  return end_install_folder_with(system_folder_end(), install_dir, platform::process_id());
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
  std::optional<DelayedRemoval> left = end_install_folder(*install_dir);
  return Uninstalled{.install_dir = std::move(*install_dir), .version = std::move(version), .left = std::move(left)};
}

}  // namespace setup
