// DLLs planted beside a program, as any site can drop files into the
// Downloads folder: the DLL of planted_dll.cpp under the name of every DLL
// that is not on Windows' list of known DLLs and that the setup program, its
// static libraries or the system's (Wine's) DLLs beneath them could look for
// there. Each that is loaded leaves a mark in the marks folder that the run
// names in MORVANE_TEST_DLL_MARKS.
#pragma once

#include <string>
#include <vector>

#include "platform/path.hpp"

namespace setup_test {

// The planted file names ("dwmapi.dll", ...).
const std::vector<std::string>& planted_dll_names();

// Puts a planted DLL under each of those names into `folder`; throws when it
// cannot.
void plant_dlls(const platform::Path& folder);

// The environment variable that names the marks folder for a run.
inline constexpr const char* planted_dll_marks_variable = "MORVANE_TEST_DLL_MARKS";

// The planted DLLs that were loaded, from their marks in `marks`:
// "dwmapi.dll, loaded by C:\...\morvane-setup.exe" for each.
std::vector<std::string> loaded_planted_dlls(const platform::Path& marks);

}  // namespace setup_test
