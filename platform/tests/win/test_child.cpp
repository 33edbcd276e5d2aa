// The test child on Windows: its arguments arrive in UTF-16 (wmain), and
// two modes belong to this system alone:
//   child linger                       writes "parent" and ends, leaving a
//                                      copy of itself that holds its
//                                      standard output and error for 60 s
//   child hold-file <file> <ms> [alone]
//                                      opens the file as a scanner would,
//                                      sharing reading and writing but not
//                                      deleting (with "alone", sharing
//                                      nothing), makes "<file>.held", and
//                                      lets the file go after <ms>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/tests/test_child.hpp"
#include "platform/win/wide.hpp"

namespace {

void write_all(FILE* stream, const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stream);
  std::fflush(stream);
}

int linger() {
  write_all(stdout, "parent");
  wchar_t self[MAX_PATH] = {};
  ::GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring command = L"\"" + std::wstring(self) + L"\" sleep 60";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = ::GetStdHandle(STD_OUTPUT_HANDLE);
  startup.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION info{};
  if (!::CreateProcessW(self, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &info)) return 1;
  ::CloseHandle(info.hThread);
  ::CloseHandle(info.hProcess);
  return 0;
}

int hold_file(const std::wstring& path, DWORD ms, DWORD share) {
  HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                              nullptr);
  if (file == INVALID_HANDLE_VALUE) return 1;
  const std::wstring marker = path + L".held";
  HANDLE made = ::CreateFileW(marker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (made == INVALID_HANDLE_VALUE) return 1;
  ::CloseHandle(made);
  ::Sleep(ms);
  ::CloseHandle(file);
  return 0;
}

}  // namespace

namespace platform_test {

int run_system_mode(const std::vector<std::string>& args) {
  if (args[0] == "linger" && args.size() == 1) return linger();
  const bool alone = args.size() == 4 && args[3] == "alone";
  if (args[0] == "hold-file" && (args.size() == 3 || alone)) {
    return hold_file(platform::win::wide(args[1]), static_cast<DWORD>(std::atol(args[2].c_str())),
                     alone ? 0 : FILE_SHARE_READ | FILE_SHARE_WRITE);
  }
  return 2;
}

}  // namespace platform_test

int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.push_back(platform::win::narrow(argv[i]));
  return platform_test::run_test_child(args);
}
