// Stands in for powershell.exe in the tests' Wine prefix (whose own
// powershell exits 0 and does nothing): it takes the one script that the
// setup program gives powershell for a shortcut,
//   $s = (New-Object -ComObject WScript.Shell).CreateShortcut('<lnk>');
//   $s.TargetPath = '<target>'; $s.WorkingDirectory = '<folder>'; $s.Save()
// with each path read as PowerShell reads a single-quoted string, and makes
// that shortcut through the shell's own IShellLinkW. Anything else fails with
// exit code 1 and a line on standard error, as powershell would.
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/powershell_quotes.hpp"

namespace {

std::string utf8(const std::wstring& text) {
  if (text.empty()) return {};
  const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                         nullptr, nullptr);
  std::string out(static_cast<std::size_t>(size), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size, nullptr, nullptr);
  return out;
}

std::wstring wide(const std::string& text) {
  if (text.empty()) return {};
  const int size = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring out(static_cast<std::size_t>(size), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size);
  return out;
}

bool literal(std::string_view& text, std::string_view expected) {
  if (text.substr(0, expected.size()) != expected) return false;
  text.remove_prefix(expected.size());
  return true;
}

// The shortcut, its target and its folder, read from the script as
// PowerShell reads it; none for any other script.
std::optional<std::vector<std::wstring>> shortcut_strings(const std::string& script) {
  std::string_view text = script;
  std::optional<std::string> link, target, folder;
  const bool parsed = literal(text, "$s = (New-Object -ComObject WScript.Shell).CreateShortcut(") &&
                      (link = platform::read_powershell_single_quoted(text)) &&
                      literal(text, "); $s.TargetPath = ") &&
                      (target = platform::read_powershell_single_quoted(text)) &&
                      literal(text, "; $s.WorkingDirectory = ") &&
                      (folder = platform::read_powershell_single_quoted(text)) && literal(text, "; $s.Save()") &&
                      text.empty();
  if (!parsed) return std::nullopt;
  return std::vector<std::wstring>{wide(*link), wide(*target), wide(*folder)};
}

int fail(const char* why) {
  std::fprintf(stderr, "%s\n", why);
  return 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::optional<std::wstring> script;
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::wstring(argv[i]) == L"-Command") script = argv[i + 1];
  }
  if (!script) return fail("no shortcut script given");
  const auto found = shortcut_strings(utf8(*script));
  if (!found) return fail("the shortcut script does not name a shortcut, a target and a folder");
  const std::vector<std::wstring>& strings = *found;

  if (FAILED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return fail("COM cannot start");
  IShellLinkW* link = nullptr;
  if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(&link)))) {
    return fail("no shell link object");
  }
  IPersistFile* file = nullptr;
  const bool saved = SUCCEEDED(link->SetPath(strings[1].c_str())) &&
                     SUCCEEDED(link->SetWorkingDirectory(strings[2].c_str())) &&
                     SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))) &&
                     SUCCEEDED(file->Save(strings[0].c_str(), TRUE));
  if (file != nullptr) file->Release();
  link->Release();
  ::CoUninitialize();
  return saved ? 0 : fail("the shortcut could not be saved");
}
