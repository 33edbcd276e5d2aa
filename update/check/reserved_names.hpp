// File names that a manifest may not use although they are plain: names the
// updater and the installer write into the install folder or the staging
// folder themselves, and names that Windows takes for a device. Windows
// compares names without regard to ASCII case and drops a trailing point or
// blank, so the tests work on the folded name.
#pragma once

#include <string>
#include <string_view>

namespace update {

// The name as Windows compares it: ASCII letters in lower case, every
// trailing "." and " " dropped.
std::string folded_file_name(std::string_view name);

// True for a folded name that the updater or the installer writes itself:
// the updates folder, uninstall.exe, the staged release's release.json and
// release.json.sig, a swap's "<name>.old" and an atomic write's or a
// decoder's "<name>.part".
bool is_updater_own_name(std::string_view folded);

// True for a folded name that Windows opens as a device: CON, PRN, AUX, NUL,
// COM0 to COM9 or LPT0 to LPT9, alone or followed by an extension (nul.txt,
// com1.tar.gz).
bool is_device_name(std::string_view folded);

}  // namespace update
