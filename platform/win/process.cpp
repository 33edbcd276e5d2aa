// Child processes through CreateProcessW, the running program and the
// user's temporary folder.
//
// `reg`, `cmd` and `powershell` are started by their full path in the system
// folder, never looked up where a file of the same name could have been put
// beside the program, and run in the system folder, so that no folder of the
// user's is held open by them, unless the caller names another working
// folder. A working folder reaches the system in the plain form of its drive,
// or in its short form where the plain one is too long for a current folder
// (current_folder.hpp). Arguments are quoted by the rules of the C runtime's command-line
// parser, except that `cmd` is given the text after its "/c" exactly as
// written: `cmd` reads that text itself, and quoting it would change what it
// runs.
#include "platform/process.hpp"

#include <algorithm>
#include <cwchar>
#include <mutex>
#include <string_view>

#include "platform/win/command_line.hpp"
#include "platform/win/current_folder.hpp"
#include "platform/win/system_folder.hpp"
#include "platform/win/wide.hpp"

namespace platform {

namespace {

using win::Handle;
using win::quote_argument;
using win::last_error;
using win::wide;


// What to start: the program's path (empty for a name that the system looks
// up), its command line, the folder it runs in (empty for ours) and its
// environment block (empty for ours).
struct Launch {
  std::wstring application;
  std::wstring command_line;
  std::wstring working_dir;
  std::wstring environment;
};

Launch launch_for(const std::string& program, const std::vector<std::string>& args) {
  Launch launch;
  const Path command = win::system_command(program);
  const bool is_cmd = program == "cmd";
  if (!command.empty()) {
    launch.application = command.native();
    launch.working_dir = win::system_folder().native();
  }
  launch.command_line = quote_argument(command.empty() ? wide(program) : command.native());
  bool as_written = false;
  for (const std::string& arg : args) {
    launch.command_line += L' ';
    launch.command_line += as_written ? wide(arg) : quote_argument(wide(arg));
    if (is_cmd && (arg == "/c" || arg == "/C")) as_written = true;
  }
  return launch;
}

const wchar_t* or_null(const std::wstring& text) { return text.empty() ? nullptr : text.c_str(); }

// The name of an environment block's entry "NAME=value"; an entry of a
// drive's working folder ("=C:=C:\x") keeps its leading equals sign.
std::wstring_view variable_name(std::wstring_view entry) {
  return entry.substr(0, std::min(entry.find(L'=', 1), entry.size()));
}

// Two variables' names as the system orders an environment block: by
// code unit, letters compared without their case.
int compare_names(std::wstring_view a, std::wstring_view b) {
  return ::CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()), TRUE);
}

// This process's environment block with NoDefaultCurrentDirectoryInExePath
// set in its place among the sorted names: a child that carries it never
// runs a program from its working folder by a bare name (cmd looks along
// PATH alone).
std::wstring environment_without_working_folder_lookup() {
  constexpr std::wstring_view added = L"NoDefaultCurrentDirectoryInExePath=1";
  const std::wstring_view added_name = variable_name(added);
  std::wstring block;
  bool placed = false;
  const auto place = [&] {
    block.append(added);
    block.push_back(L'\0');
    placed = true;
  };
  if (wchar_t* strings = ::GetEnvironmentStringsW()) {
    for (const wchar_t* entry = strings; *entry != L'\0'; entry += std::wcslen(entry) + 1) {
      const std::wstring_view text(entry);
      const std::wstring_view name = variable_name(text);
      if (compare_names(name, added_name) == CSTR_EQUAL) continue;
      if (!placed && compare_names(added_name, name) == CSTR_LESS_THAN) place();
      block.append(text);
      block.push_back(L'\0');
    }
    ::FreeEnvironmentStringsW(strings);
  }
  if (!placed) place();
  block.push_back(L'\0');
  return block;
}

// Handles are made inheritable only while this lock is held, and only the
// child started under it inherits them: two processes started at once from
// two threads never hold each other's pipes open.
std::mutex inheritance_mutex;

// A child that ends while the system is still setting it up, before any
// code of its program has run, fails the start with ERROR_INTERNAL_ERROR
// (seen about once in ten thousand starts under Wine). Nothing of the
// program ran, so the start is made again, a few times, before it counts.
constexpr int kStartAttempts = 3;

tl::expected<PROCESS_INFORMATION, IoError> create_process(Launch& launch, DWORD flags, STARTUPINFOW& startup,
                                                          bool inherit) {
  if (!launch.environment.empty()) flags |= CREATE_UNICODE_ENVIRONMENT;
  for (int attempt = 1;; ++attempt) {
    PROCESS_INFORMATION info{};
    if (::CreateProcessW(or_null(launch.application), launch.command_line.data(), nullptr, nullptr,
                         inherit ? TRUE : FALSE, flags, launch.environment.empty() ? nullptr : launch.environment.data(),
                         or_null(launch.working_dir), &startup, &info)) {
      return info;
    }
    const DWORD code = ::GetLastError();
    if (code != ERROR_INTERNAL_ERROR || attempt == kStartAttempts) {
      return tl::unexpected(IoError::from_os(static_cast<int>(code)));
    }
    ::Sleep(50 * attempt);
  }
}

// Moves what the pipe holds now into the sink; false once the pipe has
// ended (every writing end closed) or failed.
bool take_available(HANDLE pipe, Bytes& sink) {
  DWORD available = 0;
  if (!::PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr)) return false;
  while (available > 0) {
    std::uint8_t buffer[8192];
    DWORD got = 0;
    if (!::ReadFile(pipe, buffer, std::min<DWORD>(available, sizeof buffer), &got, nullptr) || got == 0) return false;
    sink.insert(sink.end(), buffer, buffer + got);
    available -= got;
  }
  return true;
}

// Collects both pipes at once, so that neither can fill and stall the
// child, until both have ended or the child has ended and its pipes hold
// nothing more: a process that the child started and that outlives it
// (a server that the system starts on demand, say) may hold the pipes'
// writing ends for good.
void collect(HANDLE process, HANDLE out, HANDLE err, ProcessOutput& result) {
  bool out_open = true;
  bool err_open = true;
  while (out_open || err_open) {
    const std::size_t before = result.stdout_bytes.size() + result.stderr_bytes.size();
    const bool ended = ::WaitForSingleObject(process, 0) == WAIT_OBJECT_0;
    if (out_open) out_open = take_available(out, result.stdout_bytes);
    if (err_open) err_open = take_available(err, result.stderr_bytes);
    const bool idle = result.stdout_bytes.size() + result.stderr_bytes.size() == before;
    if (ended && idle) return;
    if (idle) ::WaitForSingleObject(process, 2);
  }
}

struct Pipe {
  Handle read;
  Handle write;
};

tl::expected<Pipe, IoError> make_pipe() {
  HANDLE read = nullptr;
  HANDLE write = nullptr;
  if (!::CreatePipe(&read, &write, nullptr, 0)) return last_error();
  return Pipe{Handle(read), Handle(write)};
}

tl::expected<void, IoError> start_detached(Launch launch, DWORD flags) {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  auto info = create_process(launch, flags, startup, false);
  if (!info) return tl::unexpected(info.error());
  ::CloseHandle(info->hThread);
  ::CloseHandle(info->hProcess);
  return {};
}

}  // namespace

tl::expected<ProcessOutput, IoError> run_hidden(const std::string& program, const std::vector<std::string>& args) {
  Launch launch = launch_for(program, args);
  auto out = make_pipe();
  if (!out) return tl::unexpected(out.error());
  auto err = make_pipe();
  if (!err) return tl::unexpected(err.error());
  Handle input(::CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
  if (!input) return last_error();

  PROCESS_INFORMATION info{};
  {
    std::lock_guard lock(inheritance_mutex);
    for (HANDLE handle : {input.get(), out->write.get(), err->write.get()}) {
      if (!::SetHandleInformation(handle, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT)) return last_error();
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = input.get();
    startup.hStdOutput = out->write.get();
    startup.hStdError = err->write.get();
    auto created = create_process(launch, CREATE_NO_WINDOW, startup, true);
    // The child has its own copies now; ours must go, or the pipes never end.
    input.reset();
    out->write.reset();
    err->write.reset();
    if (!created) return tl::unexpected(created.error());
    info = *created;
  }
  Handle process(info.hProcess);
  ::CloseHandle(info.hThread);

  ProcessOutput result;
  collect(process.get(), out->read.get(), err->read.get(), result);

  if (::WaitForSingleObject(process.get(), INFINITE) != WAIT_OBJECT_0) return last_error();
  DWORD code = 0;
  if (!::GetExitCodeProcess(process.get(), &code)) return last_error();
  result.exit_code = static_cast<int>(code);
  return result;
}

tl::expected<void, IoError> spawn_hidden(const std::string& program, const std::vector<std::string>& args) {
  return start_detached(launch_for(program, args), CREATE_NO_WINDOW);
}

tl::expected<void, IoError> spawn_hidden_in(const Path& working_dir, const std::string& program,
                                            const std::vector<std::string>& args) {
  // cmd refuses a network path as its working folder and runs in the
  // Windows folder instead, where a command meant for this folder must not
  // run.
  auto folder = win::current_folder_for_child(working_dir.native(), program != "cmd", win::system_short_form);
  if (!folder) return tl::unexpected(IoError::from_os(static_cast<int>(folder.error())));
  Launch launch = launch_for(program, args);
  launch.working_dir = std::move(*folder);
  launch.environment = environment_without_working_folder_lookup();
  return start_detached(std::move(launch), CREATE_NO_WINDOW);
}

tl::expected<void, IoError> start_program(const Path& program, const Path& working_dir) {
  auto folder = win::current_folder_for_child(working_dir.native(), true, win::system_short_form);
  if (!folder) return tl::unexpected(IoError::from_os(static_cast<int>(folder.error())));
  Launch launch;
  launch.application = program.native();
  launch.command_line = quote_argument(program.native());
  launch.working_dir = std::move(*folder);
  return start_detached(std::move(launch), 0);
}

tl::expected<Path, IoError> current_exe() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return last_error();
    if (length < path.size()) {
      path.resize(length);
      return Path(path);
    }
    path.resize(path.size() * 2);
  }
}

unsigned long process_id() { return ::GetCurrentProcessId(); }

namespace {

// An environment variable's whole value, however long; empty when unset.
std::wstring variable(const wchar_t* name) {
  std::wstring value(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = ::GetEnvironmentVariableW(name, value.data(), static_cast<DWORD>(value.size()));
    if (length < value.size()) {
      value.resize(length);
      return value;
    }
    value.resize(length);
  }
}

// The full form of a path, however long; empty when the system gives none.
std::wstring full_form(const std::wstring& path) {
  std::wstring full(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = ::GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (length == 0) return {};
    if (length < full.size()) {
      full.resize(length);
      return full;
    }
    full.resize(length);
  }
}

}  // namespace

Path temp_dir() {
  // The folder GetTempPathW names: the first of TMP, TEMP and USERPROFILE
  // that is set, in its full form. Read here, as the system reads them,
  // because GetTempPathW answers no folder longer than MAX_PATH (Wine fails
  // then, and the system's answer is at most MAX_PATH + 1 characters):
  // never the Windows folder's Temp, which every user of the machine shares,
  // in place of the user's own.
  std::wstring folder;
  for (const wchar_t* name : {L"TMP", L"TEMP", L"USERPROFILE"}) {
    if (const std::wstring value = variable(name); !value.empty()) {
      folder = full_form(value);
      break;
    }
  }
  if (folder.empty()) {
    folder.assign(MAX_PATH + 1, L'\0');
    const DWORD length = ::GetTempPathW(static_cast<DWORD>(folder.size()), folder.data());
    if (length == 0 || length >= folder.size()) return Path(L"C:\\Windows\\Temp");
    folder.resize(length);
  }
  // Without the separator that the system puts at its end.
  if (folder.size() > 3 && folder.back() == L'\\') folder.pop_back();
  return Path(folder);
}

}  // namespace platform
