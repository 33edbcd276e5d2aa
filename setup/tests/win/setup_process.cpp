// Running a program as a user does, and holding a file, on Windows (under
// Wine in the tests).
#include "setup/tests/setup_process.hpp"

#include <windows.h>
#include <psapi.h>

#include <thread>

#include <gtest/gtest.h>

#include "platform/env.hpp"
#include "platform/fs.hpp"
#include "platform/text.hpp"
#include "platform/win/command_line.hpp"
#include "testkit/file_text.hpp"

namespace setup_test {

namespace {

using testkit::read_text_or_empty;

std::wstring wide(const std::string& text) {
  std::u16string units = platform::to_wide(text);
  return std::wstring(units.begin(), units.end() - 1);
}

// The system's own variables, which every program is started with: the
// system folder, the search path, and Wine's settings (its DLL overrides
// among them).
bool is_system_variable(const std::string& name) {
  std::string upper;
  for (char c : name) upper.push_back(c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c);
  for (const char* kept : {"PATH", "PATHEXT", "SYSTEMROOT", "SYSTEMDRIVE", "WINDIR", "COMSPEC", "PROGRAMDATA",
                           "ALLUSERSPROFILE", "PUBLIC", "PROGRAMFILES", "COMMONPROGRAMFILES", "NUMBER_OF_PROCESSORS",
                           "PROCESSOR_ARCHITECTURE", "OS", "COMPUTERNAME", "USERNAME", "USERDOMAIN"}) {
    if (upper == kept) return true;
  }
  return upper.starts_with("WINE");
}

// A sorted environment block: the system's variables, then the run's.
std::wstring environment_block(const std::map<std::string, std::string>& env) {
  std::map<std::wstring, std::wstring, decltype([](const std::wstring& a, const std::wstring& b) {
             return ::CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_LESS_THAN;
           })>
      all;
  if (wchar_t* strings = ::GetEnvironmentStringsW()) {
    for (const wchar_t* entry = strings; *entry != L'\0'; entry += std::wcslen(entry) + 1) {
      const std::wstring line(entry);
      const std::size_t equals = line.find(L'=', 1);
      if (equals == std::wstring::npos) continue;
      const std::wstring name = line.substr(0, equals);
      if (is_system_variable(platform::from_wide(std::u16string(name.begin(), name.end())))) {
        all[name] = line.substr(equals + 1);
      }
    }
    ::FreeEnvironmentStringsW(strings);
  }
  for (const auto& [name, value] : env) all[wide(name)] = wide(value);
  std::wstring block;
  for (const auto& [name, value] : all) block += name + L"=" + value + L'\0';
  block += L'\0';
  return block;
}

// How long a killed program may take to be gone.
constexpr DWORD kEndWait = 30'000;

HANDLE inheritable_file(const platform::Path& path, DWORD access, DWORD disposition) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  return ::CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &inherit,
                       disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

ExeRun run_exe(const platform::Path& program, const std::vector<std::string>& args,
               const std::map<std::string, std::string>& env, const platform::Path& cwd,
               const platform::Path& capture, std::optional<std::chrono::milliseconds> cut_after) {
  (void)platform::create_dirs(capture);
  std::wstring command = platform::win::quote_argument(program.native());
  for (const auto& arg : args) command += L" " + platform::win::quote_argument(wide(arg));
  std::wstring block = environment_block(env);

  HANDLE input = inheritable_file(L"NUL", GENERIC_READ, OPEN_EXISTING);
  HANDLE output = inheritable_file(capture / "stdout", GENERIC_WRITE, CREATE_ALWAYS);
  HANDLE error = inheritable_file(capture / "stderr", GENERIC_WRITE, CREATE_ALWAYS);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = input;
  startup.hStdOutput = output;
  startup.hStdError = error;
  PROCESS_INFORMATION info{};
  ExeRun result;
  // A run that is cut off goes with every process it started, as all of
  // them would in a power cut: it runs in a job that is ended whole.
  HANDLE job = nullptr;
  if (cut_after) {
    job = ::CreateJobObjectW(nullptr, nullptr);
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    ::SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits);
  }
  const auto began = std::chrono::steady_clock::now();
  // Wine now and then loses a child while setting it up, before any of its
  // code runs (ERROR_INTERNAL_ERROR); the program's own starts try again
  // the same way.
  BOOL started = FALSE;
  DWORD start_error = ERROR_SUCCESS;
  for (int attempt = 1; attempt <= 3; ++attempt) {
    started = ::CreateProcessW(program.c_str(), command.data(), nullptr, nullptr, TRUE,
                               CREATE_UNICODE_ENVIRONMENT | (job != nullptr ? CREATE_SUSPENDED : 0), block.data(),
                               cwd.c_str(), &startup, &info);
    start_error = ::GetLastError();
    if (started || start_error != ERROR_INTERNAL_ERROR) break;
    ::Sleep(50 * attempt);
  }
  for (HANDLE handle : {input, output, error}) ::CloseHandle(handle);
  if (!started) {
    if (job != nullptr) ::CloseHandle(job);
    ADD_FAILURE() << "could not start " << platform::display(program) << ": " << platform::os_error_text(start_error);
    return result;
  }
  if (job != nullptr) {
    ::AssignProcessToJobObject(job, info.hProcess);
    ::ResumeThread(info.hThread);
  }
  ::CloseHandle(info.hThread);
  for (;;) {
    if (::WaitForSingleObject(info.hProcess, cut_after ? 1 : 5) == WAIT_OBJECT_0) break;
    if (cut_after && std::chrono::steady_clock::now() - began >= *cut_after) {
      ::TerminateJobObject(job, 137);
      if (::WaitForSingleObject(info.hProcess, kEndWait) != WAIT_OBJECT_0) {
        ADD_FAILURE() << platform::display(program) << " was still there 30 seconds after its job was ended";
      }
      result.cut = true;
      break;
    }
    PROCESS_MEMORY_COUNTERS memory{};
    if (::K32GetProcessMemoryInfo(info.hProcess, &memory, sizeof memory)) {
      result.peak_memory_bytes = std::max<std::uint64_t>(result.peak_memory_bytes, memory.PeakWorkingSetSize);
      if (memory.WorkingSetSize > exe_memory_ceiling) {
        ::TerminateProcess(info.hProcess, 137);
        ADD_FAILURE() << platform::display(program) << " held " << memory.WorkingSetSize << " bytes, more than "
                      << exe_memory_ceiling;
      }
    }
    if (std::chrono::steady_clock::now() - began > exe_time_limit) {
      ::TerminateProcess(info.hProcess, 137);
      ::WaitForSingleObject(info.hProcess, kEndWait);
      ADD_FAILURE() << platform::display(program) << " did not end within " << exe_time_limit.count() << " seconds";
      break;
    }
  }
  result.elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - began);
  DWORD code = 0;
  ::GetExitCodeProcess(info.hProcess, &code);
  ::CloseHandle(info.hProcess);
  if (job != nullptr) ::CloseHandle(job);  // and with it whatever the run left running
  result.exit_code = static_cast<int>(code);
  result.out = read_text_or_empty(capture / "stdout");
  result.err = read_text_or_empty(capture / "stderr");
  return result;
}

ImmutableFile::ImmutableFile(platform::Path path) : path_(std::move(path)) {
  // Open, sharing reading alone: nobody can delete, rename or replace it.
  HANDLE handle = ::CreateFileW(path_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    failure_ = "cannot hold " + platform::display(path_) + ": " + platform::os_error_text(::GetLastError());
    return;
  }
  handle_ = reinterpret_cast<std::intptr_t>(handle);
}

ImmutableFile::~ImmutableFile() {
  if (handle_ != -1) ::CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

}  // namespace setup_test
