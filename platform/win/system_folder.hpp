// The system folder (GetSystemDirectoryW) and what the layer takes from it:
// the system's commands and the DLLs that it loads at run time.
#pragma once

#include <windows.h>

#include <string_view>

#include "platform/path.hpp"

namespace platform::win {

// The system folder, as C:\Windows\System32.
Path system_folder();

// The full path of a command that Windows keeps in its system folder, for
// the names "reg", "cmd" and "powershell"; an empty path for every other
// name.
Path system_command(std::string_view name);

// A DLL of the system folder, loaded from there alone; nullptr when it
// cannot be loaded. The DLL stays loaded for the life of the process.
HMODULE system_library(const wchar_t* name);

}  // namespace platform::win
