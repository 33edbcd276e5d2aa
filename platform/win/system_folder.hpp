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
//
// The program imports only DLLs that Windows always takes from its list of
// known DLLs (kernel32, user32, gdi32, advapi32, shell32, ole32, ws2_32,
// msvcrt and the like). Any other that it imported would be looked for in
// the program's own folder first, before main runs: these are loaded here.
HMODULE system_library(const wchar_t* name);

// A function of such a DLL, as the function pointer type F; nullptr when the
// DLL cannot be loaded or has no function of that name.
template <class F>
F system_function(const wchar_t* dll, const char* name) {
  HMODULE module = system_library(dll);
  if (module == nullptr) return nullptr;
  return reinterpret_cast<F>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
}

}  // namespace platform::win
