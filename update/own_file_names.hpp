// The names of the files and folders that the updater and the installer write
// themselves, in the install folder, the updates folder and a release's
// staging folder. A manifest may use none of them (check/reserved_names.hpp);
// the installer (setup/) takes them from here.
#pragma once

#include <string_view>

namespace update {

// The product's executable, directly in the install folder.
inline constexpr std::string_view exe_file_name = "morvane.exe";

// The installed uninstaller, a copy of the setup program, directly in the
// install folder.
inline constexpr std::string_view uninstaller_file_name = "uninstall.exe";

// The updates folder, directly in the install folder (store/updates_dir.hpp).
inline constexpr std::string_view updates_folder_name = "updates";

// A release's manifest and its signature over the manifest's bytes: the
// names on the release channel, in the staging folder and in the history.
inline constexpr std::string_view manifest_file_name = "release.json";
inline constexpr std::string_view signature_file_name = "release.json.sig";

// "<name>.old": where the file that a swap replaces waits.
inline constexpr std::string_view aside_suffix = ".old";

// "<name>.part": what an atomic write (store/write_atomic.hpp) and the xz
// decoder write through before the file takes its name.
inline constexpr std::string_view part_suffix = ".part";

}  // namespace update
