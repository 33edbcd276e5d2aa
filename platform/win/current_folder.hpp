// The form of a folder that a child process can be started in.
//
// The system keeps a process's current folder in the plain form, at most
// MAX_PATH characters with its closing separator, even for a program that is
// aware of long paths, and `cmd` takes no network folder as its own: it
// runs in the Windows folder instead. A folder is first brought to the plain
// form of a drive ("/" as "\", the extended prefix of "\\?\C:\..." left
// out), then, when it is too long, to the short form that the system gives
// it (8.3 names, where the volume keeps them).
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <string_view>

#include <tl/expected.hpp>

namespace platform::win {

// The longest current folder, without its closing separator.
inline constexpr std::size_t kLongestCurrentFolder = MAX_PATH - 2;

// The short form of a folder in the plain form of a drive, or nothing when
// the system gives none.
using ShortForm = std::function<std::wstring(const std::wstring& folder)>;

// GetShortPathNameW, through the extended form so that the long name itself
// may pass MAX_PATH.
std::wstring system_short_form(const std::wstring& folder);

// The folder in which a child is started: the plain form of `folder`, or its
// short form when the plain one is too long. Fails with ERROR_NOT_SUPPORTED
// for a network folder ("\\server\share", "//server/share",
// "\\?\UNC\server\share") when `network_allowed` is false, and for a folder
// that names no drive ("\\?\Volume{...}\"); with ERROR_FILENAME_EXCED_RANGE
// when even the short form is too long. A relative folder is given as it is.
tl::expected<std::wstring, DWORD> current_folder_for_child(std::wstring_view folder, bool network_allowed,
                                                           const ShortForm& short_form);

}  // namespace platform::win
