#include "platform/win/system_folder.hpp"

#include <string>

namespace platform::win {

Path system_folder() {
  std::wstring folder(MAX_PATH, L'\0');
  for (;;) {
    const UINT length = ::GetSystemDirectoryW(folder.data(), static_cast<UINT>(folder.size()));
    if (length == 0) return Path(L"C:\\Windows\\System32");
    if (length < folder.size()) {
      folder.resize(length);
      return Path(folder);
    }
    folder.resize(length);
  }
}

Path system_command(std::string_view name) {
  if (name == "reg") return system_folder() / L"reg.exe";
  if (name == "cmd") return system_folder() / L"cmd.exe";
  if (name == "powershell") return system_folder() / L"WindowsPowerShell" / L"v1.0" / L"powershell.exe";
  return Path();
}

HMODULE system_library(const wchar_t* name) {
  return ::LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
}

}  // namespace platform::win
