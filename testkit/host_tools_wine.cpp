// The build machine's programs seen from a Windows test binary under Wine.
//
// Wine's kernel32 converts between its drive paths and Linux paths
// (wine_get_unix_file_name, wine_get_dos_file_name), and CreateProcessW on
// a Linux program starts it without a handle. The program runs as
//   /bin/sh -c <runner> <out> <err> <code> <program> <args...>
// and the runner writes the exit code last, by a rename, once the program
// has ended.
#include <windows.h>

#include <chrono>
#include <stdexcept>
#include <thread>

#include "platform/fs.hpp"
#include "testkit/file_text.hpp"
#include "testkit/host_tools.hpp"
#include "testkit/temp_dir.hpp"

namespace testkit {

namespace {

using UnixName = char*(CDECL*)(LPCWSTR dos);
using DosName = WCHAR*(CDECL*)(LPCSTR unix_name);

template <class F>
F wine_function(const char* name) {
  HMODULE kernel32 = ::GetModuleHandleW(L"kernel32.dll");
  auto function = kernel32 != nullptr ? reinterpret_cast<F>(reinterpret_cast<void*>(::GetProcAddress(kernel32, name)))
                                      : nullptr;
  if (function == nullptr) throw std::runtime_error("the Windows tests run under Wine, which has " + std::string(name));
  return function;
}

constexpr const char* kRunner =
    "out=$1 err=$2 code=$3; shift 3; \"$@\" </dev/null >\"$out\" 2>\"$err\"; echo $? >\"$code.part\"; "
    "mv \"$code.part\" \"$code\"";

}  // namespace

std::string tool_path(const platform::Path& path) {
  static const UnixName unix_name = wine_function<UnixName>("wine_get_unix_file_name");
  char* converted = unix_name(path.c_str());
  if (converted == nullptr) throw std::runtime_error("no Linux path for " + platform::display(path));
  std::string text(converted);
  ::HeapFree(::GetProcessHeap(), 0, converted);
  return text;
}

platform::Path build_path(std::string_view path) {
  static const DosName dos_name = wine_function<DosName>("wine_get_dos_file_name");
  WCHAR* converted = dos_name(std::string(path).c_str());
  if (converted == nullptr) throw std::runtime_error("no Windows path for " + std::string(path));
  platform::Path result(converted);
  ::HeapFree(::GetProcessHeap(), 0, converted);
  return result;
}

bool tools_run_as_root() {
  static const bool root = [] {
    auto id = run_tool("id", {"-u"});
    return id && id->exit_code == 0 && platform::to_string(id->stdout_bytes) == "0\n";
  }();
  return root;
}

tl::expected<platform::ProcessOutput, platform::IoError> run_tool(const std::string& program,
                                                                  const std::vector<std::string>& args) {
  TempDir exchange;
  const platform::Path out = exchange / "out";
  const platform::Path err = exchange / "err";
  const platform::Path code = exchange / "code";
  std::vector<std::string> runner = {"-c", kRunner, "morvane-tool", tool_path(out), tool_path(err), tool_path(code),
                                     program};
  runner.insert(runner.end(), args.begin(), args.end());
  if (auto started = platform::spawn_hidden(platform::display(build_path("/bin/sh")), runner); !started) {
    return tl::unexpected(started.error());
  }
  // The slowest tool a test runs (xz over a release) ends well within this.
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::minutes(10);
  while (!platform::exists(code)) {
    if (std::chrono::steady_clock::now() > give_up) {
      return tl::unexpected(platform::IoError::custom(platform::ErrorKind::TimedOut,
                                                      program + " did not end within 10 minutes"));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  platform::ProcessOutput output;
  output.exit_code = std::stoi(read_text_or_empty(code));
  auto stdout_bytes = platform::read_file(out);
  auto stderr_bytes = platform::read_file(err);
  if (stdout_bytes) output.stdout_bytes = std::move(*stdout_bytes);
  if (stderr_bytes) output.stderr_bytes = std::move(*stderr_bytes);
  return output;
}

}  // namespace testkit
