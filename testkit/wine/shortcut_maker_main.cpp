// Stands in for powershell.exe in the tests' Wine prefix (whose own
// powershell exits 0 and does nothing): it takes the one script that the
// setup program gives powershell for a shortcut,
//   $s = (New-Object -ComObject WScript.Shell).CreateShortcut('<lnk>');
//   $s.TargetPath = '<target>'; $s.WorkingDirectory = '<folder>'; $s.Save()
// and makes that shortcut through the shell's own IShellLinkW. Anything else
// fails with exit code 1 and a line on standard error, as powershell would.
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace {

// The text of each single-quoted string of the script, '' read as '.
std::vector<std::wstring> quoted_strings(const std::wstring& script) {
  std::vector<std::wstring> strings;
  std::size_t at = 0;
  while ((at = script.find(L'\'', at)) != std::wstring::npos) {
    std::wstring text;
    ++at;
    for (;;) {
      if (at >= script.size()) return strings;
      if (script[at] == L'\'') {
        if (at + 1 < script.size() && script[at + 1] == L'\'') {
          text.push_back(L'\'');
          at += 2;
          continue;
        }
        ++at;
        break;
      }
      text.push_back(script[at++]);
    }
    strings.push_back(text);
  }
  return strings;
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
  if (!script || script->find(L"CreateShortcut(") == std::wstring::npos) return fail("no shortcut script given");
  const auto strings = quoted_strings(*script);
  if (strings.size() != 3) return fail("the shortcut script does not name a shortcut, a target and a folder");

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
