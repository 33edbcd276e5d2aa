// The uninstall: shortcuts, the uninstall entry and the install folder's
// files go, a hidden command removes the folder itself a few seconds later,
// and the uninstall is reported. The user's data folder is not touched.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include <tl/expected.hpp>

#include "platform/fs.hpp"
#include "platform/path.hpp"
#include "setup/main/mode_end.hpp"

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

// The arguments of the hidden `cmd` that removes the folder, uninstall.exe
// included, about two seconds after it starts:
// "/c" and "ping -n 3 127.0.0.1 >nul & rmdir /s /q "<folder>"".
std::vector<std::string> delayed_removal_args(const platform::Path& install_dir);

// The whole uninstall, up to its outcome: the success sentence, or the
// sentence of the step that failed.
ModeOutcome uninstall_outcome();

// The uninstall mode: uninstall_outcome, then the final box unless `quiet`
// is set. Answers the exit code.
int run_uninstall(bool quiet);

}  // namespace setup
