// The layer's processes on every system, with the test child
// (test_child.hpp): captured streams and exit codes, arguments that arrive
// whole, programs started without being waited for, in a given folder, and
// the running program's own path. What one system alone does is in
// posix/ and win/.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/fs.hpp"
#include "platform/process.hpp"
#include "platform/tests/child_process.hpp"
#include "testkit/host_tools.hpp"
#include "testkit/temp_dir.hpp"

namespace {

using platform::to_string;

using platform_test::eventually;
using platform_test::test_child;

// The child's working folder as it wrote it, in the form paths compare in.
platform::Path folder_written_in(const platform::Path& file) {
  return platform::comparable_path(platform::path_from_utf8(to_string(platform::read_file(file).value())));
}

TEST(RunHidden, CapturesBothStreamsAndTheExitCode) {
  auto out = platform::run_hidden(test_child(), {"streams", "out", "err", "3"});
  ASSERT_TRUE(out) << out.error().text();
  EXPECT_EQ(out->exit_code, 3);
  EXPECT_EQ(to_string(out->stdout_bytes), "out");
  EXPECT_EQ(to_string(out->stderr_bytes), "err");
}

TEST(RunHidden, GivesEveryArgumentWholeAndAnEmptyInput) {
  const std::vector<std::string> args = {"a b", "it's", "\"q\"", "", "back\\slash\\", "end\\\"", "caf\xC3\xA9", "\t"};
  std::vector<std::string> command = {"args"};
  command.insert(command.end(), args.begin(), args.end());
  auto out = platform::run_hidden(test_child(), command);
  ASSERT_TRUE(out) << out.error().text();
  // Each argument and its "|", and nothing after them: the input was empty.
  std::string expected;
  for (const auto& arg : args) expected += arg + "|";
  EXPECT_EQ(to_string(out->stdout_bytes), expected);
}

TEST(RunHidden, LargeOutputOnBothStreamsDoesNotStall) {
  auto out = platform::run_hidden(test_child(), {"large", "300000"});
  ASSERT_TRUE(out);
  EXPECT_EQ(out->stdout_bytes.size(), 300000u);
  EXPECT_EQ(out->stderr_bytes.size(), 300000u);
}

TEST(RunHidden, AProgramThatDoesNotExistFailsToStart) {
  auto out = platform::run_hidden("morvane-no-such-program", {});
  ASSERT_FALSE(out);
  EXPECT_EQ(out.error().kind(), platform::ErrorKind::NotFound);
}

TEST(RunHidden, ManyAtOnceEachEndWithTheirOwnOutput) {
  // Pipes made inheritable for one child never reach another's, or a child
  // that lives on would keep a sibling's pipes open.
  std::vector<std::thread> threads;
  std::vector<std::string> got(8);
  for (std::size_t i = 0; i < got.size(); ++i) {
    threads.emplace_back([&, i] {
      auto out = platform::run_hidden(test_child(), {"streams", std::to_string(i), "", "0"});
      got[i] = out ? to_string(out->stdout_bytes) : out.error().text();
    });
  }
  for (auto& thread : threads) thread.join();
  for (std::size_t i = 0; i < got.size(); ++i) EXPECT_EQ(got[i], std::to_string(i));
}

// The child waits five seconds before it leaves its mark: a start that
// waited for it would only return once the mark is there. The mark is then
// waited for up to 30 seconds.
constexpr auto child_delay_ms = "5000";
constexpr int mark_tries = 600;

TEST(SpawnHidden, RunsWithoutBeingWaitedFor) {
  testkit::TempDir dir;
  const auto marker = dir / "marker";
  ASSERT_TRUE(platform::spawn_hidden(test_child(), {"later", child_delay_ms, platform::display(marker)}));
  EXPECT_FALSE(platform::exists(marker)) << "the start waited for the child";
  EXPECT_TRUE(eventually([&] { return platform::exists(marker); }, mark_tries));
}

TEST(SpawnHiddenIn, RunsInTheGivenFolderWithoutBeingWaitedFor) {
  testkit::TempDir dir;
  const auto folder = dir / "p%TEMP%q!x!";
  ASSERT_TRUE(platform::create_dirs(folder));
  ASSERT_TRUE(platform::spawn_hidden_in(folder, test_child(), {"later", child_delay_ms, "where"}));
  EXPECT_FALSE(platform::exists(folder / "where")) << "the start waited for the child";
  ASSERT_TRUE(eventually([&] { return platform::exists(folder / "where"); }, mark_tries));
  EXPECT_EQ(folder_written_in(folder / "where"), platform::comparable_path(folder));
}

TEST(StartProgram, RunsInTheGivenFolder) {
  testkit::TempDir dir;
  const auto folder = dir / "caf\xC3\xA9 folder";
  ASSERT_TRUE(platform::create_dirs(folder));
  ASSERT_TRUE(platform::start_program(testkit::build_path(MORVANE_TEST_CHILD), folder));
  const auto marker = folder / "started-here.txt";
  ASSERT_TRUE(eventually([&] { return platform::exists(marker) && platform::metadata(marker)->size > 0; }));
  EXPECT_EQ(folder_written_in(marker), platform::comparable_path(folder));
}

// A program that is not there, or a working folder that is not there, is a
// start that failed: nothing runs, and nothing may say it does.
TEST(StartWithoutWaiting, AStartThatCannotHappenFails) {
  testkit::TempDir dir;
  const auto missing_folder = dir / "no-such-folder";
  const auto missing_program = dir / ("no-such-program" MORVANE_EXE_SUFFIX);
  const auto child = testkit::build_path(MORVANE_TEST_CHILD);
  const std::vector<std::pair<const char*, std::function<tl::expected<void, platform::IoError>()>>> starts = {
      {"spawn_hidden of a program that is not there",
       [&] { return platform::spawn_hidden("morvane-no-such-program", {}); }},
      {"spawn_hidden_in a folder that is not there",
       [&] { return platform::spawn_hidden_in(missing_folder, test_child(), {}); }},
      {"spawn_hidden_in with a program that is not there",
       [&] { return platform::spawn_hidden_in(dir.path(), platform::display(missing_program), {}); }},
      {"start_program of a program that is not there", [&] { return platform::start_program(missing_program, dir.path()); }},
      {"start_program in a folder that is not there", [&] { return platform::start_program(child, missing_folder); }},
  };
  for (const auto& [name, start] : starts) {
    SCOPED_TRACE(name);
    EXPECT_FALSE(start());
  }
}

TEST(CurrentExe, IsThisTestProgram) {
  auto exe = platform::current_exe();
  ASSERT_TRUE(exe);
  EXPECT_EQ(exe->filename(), "platform_tests" MORVANE_EXE_SUFFIX);
}

}  // namespace
