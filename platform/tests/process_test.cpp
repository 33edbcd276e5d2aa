#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "platform/fs.hpp"
#include "platform/process.hpp"

#include <sys/stat.h>
#include "testkit/temp_dir.hpp"

namespace {

using platform::to_string;

TEST(RunHidden, CapturesBothStreamsAndTheExitCode) {
  auto out = platform::run_hidden("sh", {"-c", "printf out; printf err >&2; exit 3"});
  ASSERT_TRUE(out) << out.error().text();
  EXPECT_EQ(out->exit_code, 3);
  EXPECT_EQ(to_string(out->stdout_bytes), "out");
  EXPECT_EQ(to_string(out->stderr_bytes), "err");
}

TEST(RunHidden, GivesEveryArgumentWholeAndAnEmptyInput) {
  auto out = platform::run_hidden("sh", {"-c", "printf '%s|' \"$@\"; cat", "sh", "a b", "it's", "\"q\""});
  ASSERT_TRUE(out);
  EXPECT_EQ(to_string(out->stdout_bytes), "a b|it's|\"q\"|");
}

TEST(RunHidden, LargeOutputOnBothStreamsDoesNotStall) {
  auto out = platform::run_hidden("sh", {"-c", "head -c 300000 /dev/zero; head -c 300000 /dev/zero >&2"});
  ASSERT_TRUE(out);
  EXPECT_EQ(out->stdout_bytes.size(), 300000u);
  EXPECT_EQ(out->stderr_bytes.size(), 300000u);
}

TEST(RunHidden, AProgramThatDoesNotExistFailsToStart) {
  auto out = platform::run_hidden("morvane-no-such-program", {});
  ASSERT_FALSE(out);
  EXPECT_EQ(out.error().kind(), platform::ErrorKind::NotFound);
}

bool wait_for(const platform::Path& path) {
  for (int i = 0; i < 100; ++i) {
    if (platform::exists(path)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return false;
}

TEST(SpawnHidden, RunsWithoutBeingWaitedFor) {
  testkit::TempDir dir;
  const auto marker = dir / "marker";
  const auto started = std::chrono::steady_clock::now();
  ASSERT_TRUE(platform::spawn_hidden("sh", {"-c", "sleep 0.3; touch \"$0\"", marker.string()}));
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(250));
  EXPECT_TRUE(wait_for(marker));
}

TEST(SpawnHiddenIn, RunsInTheGivenFolderWithoutBeingWaitedFor) {
  testkit::TempDir dir;
  const auto folder = dir / "p%TEMP%q!x!";
  ASSERT_TRUE(platform::create_dirs(folder));
  const auto started = std::chrono::steady_clock::now();
  ASSERT_TRUE(platform::spawn_hidden_in(folder, "sh", {"-c", "sleep 0.3; pwd > where.part && mv where.part where"}));
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(250));
  ASSERT_TRUE(wait_for(folder / "where"));
  EXPECT_EQ(to_string(platform::read_file(folder / "where").value()), folder.string() + "\n");
}

TEST(StartProgram, RunsInTheGivenFolder) {
  testkit::TempDir dir;
  const auto script = dir / "prog.sh";
  ASSERT_TRUE(platform::write_file(script, platform::byte_view("#!/bin/sh\npwd > where\n")));
  ASSERT_EQ(::chmod(script.c_str(), 0755), 0);
  ASSERT_TRUE(platform::start_program(script, dir.path()));
  ASSERT_TRUE(wait_for(dir / "where"));
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(to_string(platform::read_file(dir / "where").value()), dir.path().string() + "\n");
}

TEST(CurrentExe, IsThisTestBinary) {
  auto exe = platform::current_exe();
  ASSERT_TRUE(exe);
  EXPECT_EQ(exe->filename(), "platform_tests");
}

}  // namespace
