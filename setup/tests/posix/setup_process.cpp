// Running a program as a user does, and holding a file, on POSIX.
#include "setup/tests/setup_process.hpp"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "platform/fs.hpp"
#include "platform/process.hpp"
#include "testkit/file_text.hpp"

namespace setup_test {

namespace {

using namespace std::chrono_literals;
using testkit::read_text_or_empty;

// How much memory the process holds now and the most it has held (VmRSS
// and VmHWM), or zeros once they cannot be read.
struct Resident {
  std::uint64_t now = 0;
  std::uint64_t peak = 0;
};
Resident resident_memory(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  Resident resident;
  std::string name;
  std::uint64_t kib = 0;
  while (status >> name) {
    if ((name == "VmRSS:" || name == "VmHWM:") && status >> kib) {
      (name == "VmRSS:" ? resident.now : resident.peak) = kib * 1024;
    }
    status.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
  }
  return resident;
}

}  // namespace

ExeRun run_exe(const platform::Path& program, const std::vector<std::string>& args,
               const std::map<std::string, std::string>& env, const platform::Path& cwd,
               const platform::Path& capture, std::optional<std::chrono::milliseconds> cut_after) {
  std::map<std::string, std::string> all = env;
  if (const char* path = std::getenv("PATH"); path != nullptr && !all.contains("PATH")) all["PATH"] = path;
  std::vector<std::string> env_lines;
  for (const auto& [name, value] : all) env_lines.push_back(name + "=" + value);
  std::vector<char*> envp;
  for (auto& line : env_lines) envp.push_back(line.data());
  envp.push_back(nullptr);

  const std::string exe = program.string();
  std::vector<std::string> argv_text = {exe};
  argv_text.insert(argv_text.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& arg : argv_text) argv.push_back(arg.data());
  argv.push_back(nullptr);

  (void)platform::create_dirs(capture);
  const std::string out_path = (capture / "stdout").string();
  const std::string err_path = (capture / "stderr").string();
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, 2, err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());

  ExeRun result;
  const auto began = std::chrono::steady_clock::now();
  pid_t pid = 0;
  const int rc = posix_spawn(&pid, exe.c_str(), &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) {
    ADD_FAILURE() << "could not start " << exe << ": error " << rc;
    return result;
  }
  int status = 0;
  while (true) {
    const pid_t done = waitpid(pid, &status, WNOHANG);
    if (done == pid) break;
    if (cut_after && std::chrono::steady_clock::now() - began >= *cut_after) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      result.cut = true;
      break;
    }
    if (std::chrono::steady_clock::now() - began > exe_time_limit) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      ADD_FAILURE() << exe << " did not end within " << exe_time_limit.count() << " seconds";
      break;
    }
    // The high-water mark of the program's own memory, as last seen before
    // it ended (the wait's resource usage would count the test's memory,
    // which the child shared until it started the program).
    const Resident held = resident_memory(pid);
    result.peak_memory_bytes = std::max(result.peak_memory_bytes, held.peak);
    if (held.now > exe_memory_ceiling) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      ADD_FAILURE() << exe << " held " << held.now << " bytes, more than " << exe_memory_ceiling;
      break;
    }
    std::this_thread::sleep_for(2ms);
  }
  result.elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - began);
  result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  result.out = read_text_or_empty(out_path);
  result.err = read_text_or_empty(err_path);
  return result;
}

ImmutableFile::ImmutableFile(platform::Path path) : path_(std::move(path)) {
  auto run = platform::run_hidden("chattr", {"+i", path_.string()});
  if (!run) {
    failure_ = "chattr cannot be run: " + run.error().text();
  } else if (run->exit_code != 0) {
    failure_ = "chattr +i failed: " + platform::to_string(run->stderr_bytes);
  }
}

ImmutableFile::~ImmutableFile() {
  if (failure_.empty()) (void)platform::run_hidden("chattr", {"-i", path_.string()});
}

}  // namespace setup_test
