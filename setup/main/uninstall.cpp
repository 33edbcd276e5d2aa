#include "setup/main/uninstall.hpp"

#include <fmt/format.h>

#include "platform/process.hpp"
#include "setup/main/display_version.hpp"
#include "setup/main/install_dir.hpp"
#include "setup/main/install_report.hpp"
#include "setup/main/product.hpp"
#include "setup/main/shortcuts.hpp"
#include "setup/main/uninstall_entry.hpp"
#include "setup/main/uninstaller_copy.hpp"

namespace setup {

std::string uninstalled_text() {
  return fmt::format("{} is removed. Your data is kept in %LOCALAPPDATA%\\{} and is there if it is installed again.",
                     product_name, product_upper);
}

std::string removal_failed_text(const platform::Path& entry, const platform::IoError& error) {
  return fmt::format("{} could not be removed ({}). If {} is open, close it and uninstall again.",
                     platform::display(entry), error.text(), product_name);
}

platform::IoResult<void> remove_install_entry(const platform::Path& entry) {
  // remove_dir_all takes a link to a folder away as the link itself, so a
  // link in the install folder never leads the removal outside it.
  const auto metadata = platform::metadata(entry);
  if (metadata && metadata->is_dir) return platform::remove_dir_all(entry);
  return platform::remove_file(entry);
}

tl::expected<void, std::string> empty_install_folder_with(const RemoveEntry& remove,
                                                          const platform::Path& install_dir) {
  auto listing = platform::list_dir(install_dir);
  if (!listing) return {};
  // Entries listed before a failure part-way are still removed; the rest of
  // the folder goes with the delayed removal.
  for (const std::string& name : listing->names) {
    if (name == uninstaller_file_name) continue;
    const platform::Path entry = install_dir / platform::path_from_utf8(name);
    if (auto removed = remove(entry); !removed) return tl::unexpected(removal_failed_text(entry, removed.error()));
  }
  return {};
}

tl::expected<void, std::string> empty_install_folder(const platform::Path& install_dir) {
  return empty_install_folder_with(&remove_install_entry, install_dir);
}

std::vector<std::string> delayed_removal_args(const platform::Path& install_dir) {
  return {"/c", fmt::format("ping -n 3 127.0.0.1 >nul & rmdir /s /q \"{}\"", platform::display(install_dir))};
}

ModeOutcome uninstall_outcome() {
  auto install_dir = find_install_dir();
  if (!install_dir) return tl::unexpected(install_dir.error());

  const std::optional<std::string> version = read_display_version();

  auto shortcuts = shortcut_paths();
  if (!shortcuts) return tl::unexpected(shortcuts.error());
  for (const platform::Path& shortcut : *shortcuts) (void)platform::remove_file(shortcut);

  (void)platform::run_hidden("reg", {"delete", uninstall_key_path(), "/f"});

  if (auto emptied = empty_install_folder(*install_dir); !emptied) return tl::unexpected(emptied.error());

  (void)platform::spawn_hidden("cmd", delayed_removal_args(*install_dir));
  send_install_report("uninstalled", version);
  return uninstalled_text();
}

int run_uninstall(bool quiet) { return finish_mode(uninstall_outcome(), quiet); }

}  // namespace setup
