// A child program for the Windows layer's process and mutex tests:
//   child streams <out> <err> <code>   writes <out> and <err> to its standard
//                                      output and error, exits with <code>
//   child args <arg>...                writes each argument as it arrived,
//                                      in UTF-8, followed by "|"
//   child large <bytes>                writes that many bytes to each stream
//   child hold <mutex> <seconds>       holds the named mutex for a while
//   child linger                       writes "parent" and ends, leaving a
//                                      copy of itself that holds its
//                                      standard output and error for 5 s
//   child sleep <seconds>              sleeps
//   child hold-file <file> <ms>        opens the file as a scanner would,
//                                      sharing reading and writing but not
//                                      deleting, makes "<file>.held", and
//                                      lets the file go after <ms>
//   child                              writes its working folder into
//                                      "started-here.txt" there
#include <windows.h>

#include <cstdio>
#include <string>

#include "platform/text.hpp"

namespace {

std::string utf8(const wchar_t* text) {
  const std::wstring wide(text);
  return platform::from_wide(std::u16string(wide.begin(), wide.end()));
}

void write_all(FILE* stream, const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stream);
  std::fflush(stream);
}

}  // namespace

namespace {

int write_working_folder(const wchar_t* file_name) {
  wchar_t folder[MAX_PATH] = {};
  ::GetCurrentDirectoryW(MAX_PATH, folder);
  FILE* file = _wfopen(file_name, L"wb");
  if (file == nullptr) return 1;
  write_all(file, utf8(folder));
  std::fclose(file);
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return write_working_folder(L"started-here.txt");
  const std::wstring mode = argv[1];
  if (mode == L"streams" && argc == 5) {
    write_all(stdout, utf8(argv[2]));
    write_all(stderr, utf8(argv[3]));
    return _wtoi(argv[4]);
  }
  if (mode == L"args") {
    for (int i = 2; i < argc; ++i) write_all(stdout, utf8(argv[i]) + "|");
    return 0;
  }
  if (mode == L"large" && argc == 3) {
    const std::string block(static_cast<std::size_t>(_wtoi(argv[2])), '\0');
    write_all(stdout, block);
    write_all(stderr, block);
    return 0;
  }
  if (mode == L"linger") {
    write_all(stdout, "parent");
    wchar_t self[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring command = L"\"" + std::wstring(self) + L"\" sleep 5";
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
  if (mode == L"sleep" && argc == 3) {
    ::Sleep(static_cast<DWORD>(_wtoi(argv[2])) * 1000);
    return 0;
  }
  if (mode == L"hold-file" && argc == 4) {
    HANDLE file = ::CreateFileW(argv[2], GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 1;
    const std::wstring marker = std::wstring(argv[2]) + L".held";
    HANDLE made = ::CreateFileW(marker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (made == INVALID_HANDLE_VALUE) return 1;
    ::CloseHandle(made);
    ::Sleep(static_cast<DWORD>(_wtoi(argv[3])));
    ::CloseHandle(file);
    return 0;
  }
  if (mode == L"hold" && argc == 4) {
    HANDLE mutex = ::CreateMutexW(nullptr, FALSE, argv[2]);
    if (mutex == nullptr || ::GetLastError() == ERROR_ALREADY_EXISTS) return 1;
    ::Sleep(static_cast<DWORD>(_wtoi(argv[3])) * 1000);
    return 0;
  }
  return 2;
}
