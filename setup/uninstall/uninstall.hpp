// The uninstall's work: shortcuts, the uninstall entry and the install
// folder's files go, and a hidden command removes the folder itself a few
// seconds after the uninstaller has ended. The user's data folder is not
// touched. The mode around it (the report, the final box and when the
// removal starts) is main/uninstall_mode.hpp.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <tl/expected.hpp>

#include "platform/fs.hpp"
#include "platform/path.hpp"
#include "setup/common/delayed_removal.hpp"

namespace setup {

// "Morvane is removed. Your data is kept in %LOCALAPPDATA%\MORVANE and is
// there if it is installed again."
std::string uninstalled_text();

// "<entry> could not be removed (<error>). If Morvane is open, close it and
// uninstall again."
std::string removal_failed_text(const platform::Path& entry, const platform::IoError& error);

// Removes one entry of the install folder: a folder with everything in it,
// anything else as a file. A link is removed itself, never followed.
using RemoveEntry = std::function<platform::IoResult<void>(const platform::Path& entry)>;
platform::IoResult<void> remove_install_entry(const platform::Path& entry);

// Removes every entry of the install folder but "uninstall.exe" (that name
// exactly), in the order the system lists them. The first entry that cannot
// be removed ends it with removal_failed_text. A folder that cannot be
// listed, or a listing that fails part-way, ends it without a word.
tl::expected<void, std::string> empty_install_folder(const platform::Path& install_dir);
tl::expected<void, std::string> empty_install_folder_with(const RemoveEntry& remove,
                                                          const platform::Path& install_dir);

// The hidden `cmd` that removes the install folder, uninstall.exe included,
// about two seconds after it starts (three echo requests); none for a folder
// that delayed_removal does not take.
std::optional<DelayedRemoval> install_folder_removal(const platform::Path& install_dir);

// What the uninstall has done once the install folder holds uninstall.exe
// alone: the folder that the delayed removal takes, and the installed
// version for the report.
struct Uninstalled {
  platform::Path install_dir;
  std::optional<std::string> version;
};

// The uninstall's removals: the shortcuts, the uninstall entry and the
// install folder's files. A failure is the sentence of the step that
// failed.
tl::expected<Uninstalled, std::string> remove_installation();

}  // namespace setup
