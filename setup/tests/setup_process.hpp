// The real morvane-setup executable, started as a user starts it, with only
// the environment that the test gives it, and helpers for what it leaves.
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/path.hpp"

namespace setup_test {

struct ExeRun {
  int exit_code = -1;
  std::string out;
  std::string err;
  std::chrono::milliseconds elapsed{0};
  // The most memory the program held at once (its peak resident set), as
  // last seen while it ran.
  std::uint64_t peak_memory_bytes = 0;
  // Whether it was cut off on purpose (run_exe's `cut_after`).
  bool cut = false;
};

// What a run may hold before it is killed: more than any run needs, far
// less than a program that reads without end would take.
inline constexpr std::uint64_t exe_memory_ceiling = std::uint64_t{1} << 30;

// How long a run may take before it is killed (under Wine, the Windows build
// runs slower).
#ifdef _WIN32
inline constexpr std::chrono::seconds exe_time_limit{90};
#else
inline constexpr std::chrono::seconds exe_time_limit{30};
#endif

// Runs morvane-setup with `args` in `cwd` with exactly `env` (plus PATH, and
// on Windows the system's own variables), standard input empty and both
// outputs captured in files below `capture`; kills it after exe_time_limit,
// or as soon as it holds more than exe_memory_ceiling.
ExeRun run_setup_exe(const std::vector<std::string>& args, const std::map<std::string, std::string>& env,
                     const platform::Path& cwd, const platform::Path& capture);

// The same for another program (a copy of morvane-setup, say). With
// `cut_after`, a program still running then is killed at once, as a power
// cut would end it, and that is no failure.
ExeRun run_exe(const platform::Path& program, const std::vector<std::string>& args,
               const std::map<std::string, std::string>& env, const platform::Path& cwd,
               const platform::Path& capture,
               std::optional<std::chrono::milliseconds> cut_after = std::nullopt);

// A folder's entry names, sorted; {"(unlistable)"} when it cannot be listed.
std::vector<std::string> sorted_entries(const platform::Path& dir);

// Keeps a file from being removed, even by root, until it goes: chattr +i
// here, a handle that shares no deleting on Windows.
class ImmutableFile {
 public:
  explicit ImmutableFile(platform::Path path);
  ~ImmutableFile();
  ImmutableFile(const ImmutableFile&) = delete;
  ImmutableFile& operator=(const ImmutableFile&) = delete;
  // Empty when the file is held; else why it could not be.
  const std::string& failure() const { return failure_; }

 private:
  platform::Path path_;
  std::string failure_;
  std::intptr_t handle_ = -1;  // Windows: the handle that holds the file
};

}  // namespace setup_test
