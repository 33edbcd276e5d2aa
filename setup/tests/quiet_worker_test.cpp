#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <regex>
#include <stdexcept>
#include <string>
#include <thread>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "platform/fs.hpp"
#include "platform/named_mutex.hpp"
#include "setup/main/quiet.hpp"
#include "setup/main/setup_mutex.hpp"
#include "setup/tests/box_recorder.hpp"
#include "testkit/file_text.hpp"
#include "testkit/temp_dir.hpp"

namespace setup {
namespace {

using setup_test::BoxRecorder;

using testkit::read_text;

InstallSuccess success(std::string version) {
  InstallSuccess result;
  result.version = std::move(version);
  return result;
}

// What the job saw of the run it was given.
struct Seen {
  int calls = 0;
  platform::Path install_dir;
  std::string channel;
  bool cancel = true;
  bool on_other_thread = false;
};

class QuietWorker : public ::testing::Test {
 protected:
  testkit::TempDir local;
  platform::Path install_dir = local.path() / "Programs" / "MORVANE";
  BoxRecorder boxes;
};

TEST_F(QuietWorker, RunsTheJobOnceOnItsOwnThreadWithTheQuietValues) {
  Seen seen;
  const auto main_thread = std::this_thread::get_id();
  const InstallResult result = run_quiet_worker(
      install_dir, [&](const platform::Path& dir, std::string_view channel, const std::atomic<bool>& cancel,
                       const StatusSink& sink) -> InstallResult {
        ++seen.calls;
        seen.install_dir = dir;
        seen.channel = channel;
        seen.cancel = cancel.load();
        seen.on_other_thread = std::this_thread::get_id() != main_thread;
        SetupStatus status;
        status.version = "3.1.0";
        status.phase = SetupPhase::Downloading;
        sink(status);
        sink(SetupStatus{});
        return InstallSuccess{.version = "3.1.0", .previous_version = "3.0.9", .already_current = false};
      });
  EXPECT_EQ(seen.calls, 1);
  EXPECT_EQ(seen.install_dir, install_dir);
  EXPECT_EQ(seen.channel, "stable-intl");
  EXPECT_FALSE(seen.cancel);
  EXPECT_TRUE(seen.on_other_thread);
  ASSERT_TRUE(result) << result.error();
  EXPECT_EQ(*result, (InstallSuccess{.version = "3.1.0", .previous_version = "3.0.9", .already_current = false}));
  // The statuses went nowhere, and nothing was written.
  EXPECT_TRUE(boxes.boxes.empty());
  EXPECT_FALSE(platform::exists(install_dir));
}

TEST_F(QuietWorker, AFailureComesBackUnchanged) {
  const InstallResult result =
      run_quiet_worker(install_dir, [](auto&&...) -> InstallResult { return tl::unexpected(std::string("no network")); });
  ASSERT_FALSE(result);
  EXPECT_EQ(result.error(), "no network");
  EXPECT_FALSE(platform::exists(install_dir));
  EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(QuietWorker, AFaultThatEscapesTheJobBecomesALogLineAndThePlainSentence) {
  const struct {
    std::function<void()> fault;
    const char* text;
  } cases[] = {
      {[] { throw std::runtime_error("manifest parser blew up"); }, "manifest parser blew up"},
      {[] { throw std::string("thrown as a string"); }, "thrown as a string"},
      {[] { throw "thrown as a literal"; }, "thrown as a literal"},
      {[] { throw 7; }, "a panic"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    testkit::TempDir fresh;
    const platform::Path dir = fresh / "MORVANE";
    const InstallResult result = run_quiet_worker(dir, [&](auto&&...) -> InstallResult {
      c.fault();
      return success("9.9.9");
    });
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error(), "Morvane could not be installed. Run the installer again.");
    const std::string log = read_text(dir / "updates" / "setup.log");
    EXPECT_TRUE(std::regex_match(log, std::regex(fmt::format("[0-9]+ the installer's worker stopped: {}\n", c.text))))
        << log;
  }
  EXPECT_TRUE(boxes.boxes.empty());
}

// The whole quiet mode and the setup mutex claim the mutex for the rest of the
// process, so each case runs in a child process of its own, with its own
// runtime folder for the mutex, and reports what it saw on standard error.
[[noreturn]] void report_and_exit(const std::string& line) {
  std::fprintf(stderr, "%s\n", line.c_str());
  std::fflush(stderr);
  std::_Exit(0);
}

class QuietModeDeathTest : public ::testing::Test {
 protected:
  testkit::TempDir root;
  platform::Path local = root / "local";
  platform::Path install_dir = local / "Programs" / "MORVANE";

  platform::Path run = root / "run";

  void SetUp() override {
    ASSERT_TRUE(platform::create_dirs(local));
    ASSERT_TRUE(platform::create_dirs(run));
  }

  // In the child: the environment of a quiet run.
  void enter_child(bool with_local_app_data) const {
    ::setenv("XDG_RUNTIME_DIR", run.c_str(), 1);
    if (with_local_app_data) {
      ::setenv("LOCALAPPDATA", local.c_str(), 1);
    } else {
      ::unsetenv("LOCALAPPDATA");
    }
  }

  // Runs the quiet mode around `job` and reports the exit code, the calls of
  // the job and the boxes shown.
  [[noreturn]] void run_and_report(const QuietJob& job) const {
    int calls = 0;
    BoxRecorder boxes;
    const int code = run_quiet_install_with([&](auto&&... args) {
      ++calls;
      return job(args...);
    });
    report_and_exit(fmt::format("exit={} calls={} boxes={}", code, calls, boxes.boxes.size()));
  }
};

InstallResult succeeding(const platform::Path&, std::string_view, const std::atomic<bool>&, const StatusSink&) {
  return success("1.2.3");
}

InstallResult failing(const platform::Path&, std::string_view, const std::atomic<bool>&, const StatusSink&) {
  return tl::unexpected(std::string("Morvane's download server could not be reached."));
}

InstallResult throwing(const platform::Path&, std::string_view, const std::atomic<bool>&, const StatusSink&) {
  throw std::runtime_error("worker bug");
}

TEST_F(QuietModeDeathTest, SuccessAndFailureBecomeTheExitCodeWithoutABox) {
  EXPECT_EXIT((enter_child(true), run_and_report(succeeding)), ::testing::ExitedWithCode(0),
              "^exit=0 calls=1 boxes=0\n$");
  EXPECT_EXIT((enter_child(true), run_and_report(failing)), ::testing::ExitedWithCode(0),
              "^exit=1 calls=1 boxes=0\n$");
}

TEST_F(QuietModeDeathTest, AThrowingJobEndsWithExitCodeOneAndALogLine) {
  EXPECT_EXIT((enter_child(true), run_and_report(throwing)), ::testing::ExitedWithCode(0),
              "^exit=1 calls=1 boxes=0\n$");
  const std::string log = read_text(install_dir / "updates" / "setup.log");
  EXPECT_TRUE(std::regex_match(log, std::regex("[0-9]+ the installer's worker stopped: worker bug\n"))) << log;
}

TEST_F(QuietModeDeathTest, WithoutLocalAppDataNothingRuns) {
  EXPECT_EXIT((enter_child(false), run_and_report(succeeding)), ::testing::ExitedWithCode(0),
              "^exit=1 calls=0 boxes=0\n$");
  // The mutex was not even claimed.
  EXPECT_TRUE(platform::list_dir(run)->names.empty());
}

TEST_F(QuietModeDeathTest, WhileTheSetupMutexIsTakenNothingRuns) {
  EXPECT_EXIT(
      {
        enter_child(true);
        if (!claim_setup_mutex()) report_and_exit("first claim failed");
        run_and_report(succeeding);
      },
      ::testing::ExitedWithCode(0), "^exit=1 calls=0 boxes=0\n$");
  EXPECT_FALSE(platform::exists(install_dir));
}

TEST(SetupMutexDeathTest, ASecondClaimInTheSameProcessAnswersFalse) {
  testkit::TempDir run;
  EXPECT_EXIT(
      {
        ::setenv("XDG_RUNTIME_DIR", run.path().c_str(), 1);
        const bool held_before = platform::named_mutex_exists("Local\\MORVANE.setup");
        const bool first = claim_setup_mutex();
        const bool second = claim_setup_mutex();
        const bool held_after = platform::named_mutex_exists("Local\\MORVANE.setup");
        report_and_exit(fmt::format("before={} first={} second={} after={}", held_before, first, second, held_after));
      },
      ::testing::ExitedWithCode(0), "^before=false first=true second=false after=true\n$");
}

}  // namespace
}  // namespace setup
