// The uninstall's work: shortcuts, the uninstall entry, the install
// folder's files and then the folder itself go. The uninstaller first moves
// its own file out of the folder, into the folder's parent, so that the
// folder goes at once and nothing is ever removed by the folder's name
// later, when a new installation may be there; a hidden command deletes
// that moved file alone a few seconds after the uninstaller has ended,
// when it is the running program. The user's data folder is not touched. The mode around it (the report, the final box and when the
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

// Where the uninstaller moves its file: "morvane-uninstall-<process id>.exe"
// in the install folder's parent, the same volume, so that even the running
// program's file may move there (Windows lets a running program's file be
// renamed, never deleted).
platform::Path moved_uninstaller(const platform::Path& install_dir, unsigned long process_id);

// What ending the install folder does to the system; system_folder_end()
// is the real thing, tests put their own in.
struct FolderEnd {
  std::function<bool(const platform::Path&)> exists;
  std::function<platform::IoResult<void>(const platform::Path& from, const platform::Path& to)> rename;
  std::function<platform::IoResult<void>(const platform::Path&)> remove_file;
  std::function<platform::IoResult<void>(const platform::Path&)> remove_empty_dir;
};
FolderEnd system_folder_end();

// Ends the install folder once it holds uninstall.exe alone: moves
// uninstall.exe to moved_uninstaller, removes the folder when it is empty
// (never what it holds), and deletes the moved file at once when it can.
// Answers the hidden `cmd` that deletes the moved file by its name about
// two seconds after it starts (three echo requests), when it is still
// there: the running program's own. An uninstall.exe that cannot be moved
// keeps the folder as it is, and nothing is left to remove later.
std::optional<DelayedRemoval> end_install_folder_with(const FolderEnd& end, const platform::Path& install_dir,
                                                      unsigned long process_id);
// The same on the system, for this process, after leaving the working
// folder (Windows removes no folder that a process works in).
std::optional<DelayedRemoval> end_install_folder(const platform::Path& install_dir);

// What the uninstall has done once the install folder is gone: the folder,
// the installed version for the report, and what is left for the delayed
// removal (the running uninstaller's moved file), to be started when
// nothing else is left to do.
struct Uninstalled {
  platform::Path install_dir;
  std::optional<std::string> version;
  std::optional<DelayedRemoval> left;
};

// The uninstall's removals: the shortcuts, the uninstall entry, the
// install folder's files and the folder (end_install_folder). A failure is
// the sentence of the step that failed; the folder then stays.
tl::expected<Uninstalled, std::string> remove_installation();

}  // namespace setup
