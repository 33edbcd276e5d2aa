// The real morvane-setup executable, started as a user would start it, with
// an environment of the test's own making.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/fs.hpp"
#include "platform/named_mutex.hpp"
#include "testkit/temp_dir.hpp"

namespace {

using namespace std::chrono_literals;

struct ExeRun {
  int exit_code = -1;
  std::string out;
  std::string err;
  std::chrono::milliseconds elapsed{0};
};

std::string read_text(const platform::Path& path) {
  auto bytes = platform::read_file(path);
  return bytes ? platform::to_string(*bytes) : std::string();
}

std::vector<std::string> entries(const platform::Path& dir) {
  auto listing = platform::list_dir(dir);
  return listing ? listing->names : std::vector<std::string>{"(unlistable)"};
}

// One sandbox per test: a home, a temporary folder, a working folder, a
// runtime folder for the named mutexes and a LOCALAPPDATA, all empty, plus a
// folder outside the sandbox's view for the captured output.
class SetupExe : public ::testing::Test {
 protected:
  testkit::TempDir root;
  platform::Path home = root / "home";
  platform::Path tmp = root / "tmp";
  platform::Path cwd = root / "cwd";
  platform::Path run = root / "run";
  platform::Path local = root / "local";
  platform::Path capture = root / "capture";

  void SetUp() override {
    for (const auto& dir : {home, tmp, cwd, run, local, capture}) ASSERT_TRUE(platform::create_dirs(dir));
  }

  // Starts morvane-setup with `args` and only the given environment, and
  // waits (at most 30 seconds) for it to end.
  ExeRun start(const std::vector<std::string>& args, bool with_local_app_data) const {
    std::map<std::string, std::string> env = {
        {"HOME", home.string()},
        {"TMPDIR", tmp.string()},
        {"XDG_RUNTIME_DIR", run.string()},
        {"MORVANE_SETUP_UNCOUNTED", "1"},
    };
    if (const char* path = std::getenv("PATH")) env["PATH"] = path;
    if (with_local_app_data) env["LOCALAPPDATA"] = local.string();

    std::vector<std::string> env_lines;
    for (const auto& [name, value] : env) env_lines.push_back(name + "=" + value);
    std::vector<char*> envp;
    for (auto& line : env_lines) envp.push_back(line.data());
    envp.push_back(nullptr);

    const std::string exe = MORVANE_SETUP_EXE;
    std::vector<std::string> argv_text = {exe};
    argv_text.insert(argv_text.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& arg : argv_text) argv.push_back(arg.data());
    argv.push_back(nullptr);

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
      if (std::chrono::steady_clock::now() - began > 30s) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        ADD_FAILURE() << "morvane-setup did not end within 30 seconds";
        break;
      }
      std::this_thread::sleep_for(2ms);
    }
    result.elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - began);
    result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    result.out = read_text(out_path);
    result.err = read_text(err_path);
    return result;
  }

  // Nothing was written anywhere the program could reach.
  void expect_nothing_written() const {
    for (const auto& dir : {home, tmp, cwd, local}) EXPECT_TRUE(entries(dir).empty()) << dir;
  }
};

// Holds a named mutex in a process of its own until it goes away.
class MutexHolder {
 public:
  MutexHolder(const platform::Path& runtime_dir, const std::string& name) {
    int ready[2];
    int release[2];
    if (pipe2(ready, O_CLOEXEC) != 0 || pipe2(release, O_CLOEXEC) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      close(ready[0]);
      close(release[1]);
      setenv("XDG_RUNTIME_DIR", runtime_dir.c_str(), 1);
      const char answer = platform::claim_named_mutex(name) ? 'y' : 'n';
      (void)!write(ready[1], &answer, 1);
      char ignored;
      (void)!read(release[0], &ignored, 1);  // returns when the holder goes away
      _exit(0);
    }
    close(ready[1]);
    close(release[0]);
    release_fd_ = release[1];
    char answer = 'n';
    if (pid_ > 0 && read(ready[0], &answer, 1) == 1) claimed_ = answer == 'y';
    close(ready[0]);
  }
  ~MutexHolder() {
    close(release_fd_);
    if (pid_ > 0) waitpid(pid_, nullptr, 0);
  }
  MutexHolder(const MutexHolder&) = delete;
  MutexHolder& operator=(const MutexHolder&) = delete;

  bool claimed() const { return claimed_; }

 private:
  pid_t pid_ = -1;
  int release_fd_ = -1;
  bool claimed_ = false;
};

TEST_F(SetupExe, QuietWithoutLocalAppDataFailsWithoutAWordOrAFile) {
  const ExeRun r = start({"--quiet"}, false);
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out, "");
  expect_nothing_written();
  EXPECT_TRUE(entries(run).empty());  // it failed before it claimed the mutex
}

TEST_F(SetupExe, QuietWhileAnotherProcessHoldsTheSetupMutexFailsAtOnce) {
  {
    MutexHolder holder(run, "Local\\MORVANE.setup");
    ASSERT_TRUE(holder.claimed());
    const ExeRun r = start({"--quiet"}, true);
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.err, "");  // no box, and the install never started
    EXPECT_EQ(r.out, "");
    EXPECT_LT(r.elapsed, 1000ms);
    expect_nothing_written();
  }
  // That the same run installs once the holder is gone is shown against a
  // served channel, in quiet_install_exe_test.cpp.
}

TEST_F(SetupExe, AnArgumentThatOnlyLooksLikeTheQuietOptionStartsTheWindowMode) {
  // With the setup mutex taken, the window mode refuses at once with its box
  // (on standard error here, where there is no display), where the quiet
  // mode would end without a word; so the box tells the two apart without
  // any install being started.
  MutexHolder holder(run, "Local\\MORVANE.setup");
  ASSERT_TRUE(holder.claimed());
  const std::vector<std::vector<std::string>> cases = {
      {}, {"--QUIET"}, {"--quiet=1"}, {"/quiet", "-quiet"}, {"--Uninstall", "quiet"},
  };
  for (const auto& args : cases) {
    std::string shown;
    for (const auto& arg : args) shown += "[" + arg + "]";
    SCOPED_TRACE(shown);
    const ExeRun r = start(args, true);
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.err, "[Morvane \u2014 not done] (error) The Morvane installer is already running.\n");
    EXPECT_EQ(r.out, "");
    expect_nothing_written();
  }
}

}  // namespace
