// The names of the files and folders that the updater and the installer write
// themselves, in the install folder, the updates folder and a release's
// staging folder. A manifest may use none of them (check/reserved_names.hpp);
// the installer (setup/) takes them from here.
#pragma once

#include <string_view>

#include "morvane/config.hpp"

namespace update {

// The product's executable, directly in the install folder.
inline constexpr std::string_view exe_file_name = config::product_exe_name;

// The installed uninstaller, a copy of the setup program, directly in the
// install folder.
inline constexpr std::string_view uninstaller_file_name = "uninstall.exe";

// The updates folder, directly in the install folder (store/updates_dir.hpp).
inline constexpr std::string_view updates_folder_name = "updates";

// What the updates folder holds, each directly in it; store/updates_dir.hpp
// gives their paths.
// The explanation for people, written with a new updates folder.
inline constexpr std::string_view readme_file_name = "README.txt";
// The folders of releases being staged and of installed releases' records,
// one folder per version below each.
inline constexpr std::string_view pending_folder_name = "pending";
inline constexpr std::string_view history_folder_name = "history";
// The swap journal and the rollback record of the last swap.
inline constexpr std::string_view journal_file_name = "swap.journal";
inline constexpr std::string_view rollback_file_name = "rollback.json";
// The pin and the anti-replay high-water mark.
inline constexpr std::string_view pin_file_name = "pinned.json";
inline constexpr std::string_view high_water_file_name = "highwater.json";
// The logs: refused releases, the staging ladder's decisions, the installer's
// lines.
inline constexpr std::string_view refusals_log_file_name = "refusals.log";
inline constexpr std::string_view staged_log_file_name = "staged.log";
inline constexpr std::string_view setup_log_file_name = "setup.log";

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
