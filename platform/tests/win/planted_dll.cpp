// A DLL that tells when it is loaded, for the tests of which DLLs the setup
// program and the window layer take from where. One build is copied under
// each name that a test looks at (WebView2Loader.dll, dwmapi.dll, ...).
// Loaded into a process whose MORVANE_TEST_DLL_MARKS names a folder, it
// adds a line with the path of the program that loaded it to the file of
// its own name in that folder (<folder>\dwmapi.dll, say). Its one export
// answers E_FAIL, as the WebView2 loader's entry does when it finds no
// runtime.
#include <windows.h>

#include <string>

namespace {

// The full path of a module's file (the program's for nullptr).
std::wstring module_path(HMODULE module) {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = ::GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    path.resize(path.size() * 2);
  }
  return path;
}

std::wstring base_name(const std::wstring& path) {
  const std::size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

std::string utf8(const std::wstring& text) {
  const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                         nullptr, nullptr);
  std::string bytes(size > 0 ? static_cast<std::size_t>(size) : 0, '\0');
  if (size > 0) {
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), size, nullptr,
                          nullptr);
  }
  return bytes;
}

void leave_mark(HMODULE self) {
  std::wstring folder(32768, L'\0');
  const DWORD length = ::GetEnvironmentVariableW(L"MORVANE_TEST_DLL_MARKS", folder.data(),
                                                 static_cast<DWORD>(folder.size()));
  if (length == 0 || length >= folder.size()) return;
  folder.resize(length);
  const std::wstring mark = folder + L"\\" + base_name(module_path(self));
  HANDLE file = ::CreateFileW(mark.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  const std::string line = utf8(module_path(nullptr)) + "\n";
  DWORD written = 0;
  ::WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
  ::CloseHandle(file);
}

}  // namespace

extern "C" __declspec(dllexport) HRESULT CreateCoreWebView2EnvironmentWithOptions(void*, void*, void*, void*) {
  return E_FAIL;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) leave_mark(instance);
  return TRUE;
}
