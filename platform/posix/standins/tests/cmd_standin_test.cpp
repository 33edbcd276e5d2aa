// The `cmd` stand-in: the delayed removal it takes and does, and its
// refusals.
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/fs.hpp"
#include "platform/posix/standins/tests/standin_env.hpp"

namespace {

using namespace std::chrono_literals;
using standin_test::run;

std::string removal(int count, const platform::Path& folder) {
  return "ping -n " + std::to_string(count) + " 127.0.0.1 >nul & rmdir /s /q \"" + folder.string() + "\"";
}

TEST(CmdStandin, RemovesTheFolderAfterThePauseWithoutFollowingLinks) {
  testkit::TempDir dir;
  const auto folder = dir / "Programs \"odd\" & name";
  const auto outside = dir / "outside";
  ASSERT_TRUE(platform::create_dirs(folder / "sub" / "deeper"));
  ASSERT_TRUE(platform::create_dirs(outside));
  ASSERT_TRUE(platform::write_file(folder / "sub" / "deeper" / "f", platform::byte_view("x")));
  ASSERT_TRUE(platform::write_file(outside / "keep", platform::byte_view("keep")));
  std::filesystem::create_directory_symlink(outside, folder / "link");

  const auto began = std::chrono::steady_clock::now();
  const auto r = run("cmd", {"/c", removal(2, folder)});
  const auto took = std::chrono::steady_clock::now() - began;
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_GE(took, 950ms);
  EXPECT_LT(took, 3s);
  EXPECT_FALSE(platform::exists(folder));
  EXPECT_TRUE(platform::is_regular_file(outside / "keep"));
}

TEST(CmdStandin, StartedWithoutBeingWaitedForItRemovesTheFolderLater) {
  testkit::TempDir dir;
  const auto folder = dir / "MORVANE";
  ASSERT_TRUE(platform::create_dirs(folder));
  ASSERT_TRUE(platform::write_file(folder / "uninstall.exe", platform::byte_view("x")));
  ASSERT_TRUE(platform::spawn_hidden("cmd", {"/c", removal(3, folder)}));
  std::this_thread::sleep_for(1500ms);
  EXPECT_TRUE(platform::exists(folder / "uninstall.exe"));
  for (int i = 0; i < 60 && platform::exists(folder); ++i) std::this_thread::sleep_for(100ms);
  EXPECT_FALSE(platform::exists(folder));
}

TEST(CmdStandin, AMissingFolderOrAFileIsAnError) {
  testkit::TempDir dir;
  auto r = run("cmd", {"/c", removal(1, dir / "none")});
  EXPECT_EQ(r.exit_code, 2);
  EXPECT_EQ(r.err, "The system cannot find the file specified.\r\n");

  ASSERT_TRUE(platform::write_file(dir / "file", platform::byte_view("x")));
  r = run("cmd", {"/c", removal(1, dir / "file")});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.err, "The directory name is invalid.\r\n");
  EXPECT_TRUE(platform::exists(dir / "file"));
}

TEST(CmdStandin, RefusesEveryOtherCommand) {
  testkit::TempDir dir;
  const auto folder = dir / "keep";
  ASSERT_TRUE(platform::create_dirs(folder));
  const std::string good = removal(1, folder);
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"/c"},
      {"/k", good},
      {"/c", good, "extra"},
      {"/c", "rmdir /s /q \"" + folder.string() + "\""},
      {"/c", "ping -n 0 127.0.0.1 >nul & rmdir /s /q \"" + folder.string() + "\""},
      {"/c", "ping -n x 127.0.0.1 >nul & rmdir /s /q \"" + folder.string() + "\""},
      {"/c", "ping -n 1 10.0.0.1 >nul & rmdir /s /q \"" + folder.string() + "\""},
      {"/c", "ping -n 1 127.0.0.1 >nul & rmdir /s \"" + folder.string() + "\""},
      {"/c", "ping -n 1 127.0.0.1 >nul & rmdir /s /q " + folder.string()},
      {"/c", "ping -n 1 127.0.0.1 >nul & rmdir /s /q \"\""},
      {"/c", "ping -n 1 127.0.0.1 >nul & del /q \"" + folder.string() + "\""},
      {"/c", good + " & echo"},
  };
  for (const auto& args : cases) {
    std::string shown;
    for (const auto& arg : args) shown += "[" + arg + "]";
    SCOPED_TRACE(shown);
    const auto r = run("cmd", args);
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_TRUE(r.err.starts_with("cmd: this stand-in takes only")) << r.err;
  }
  EXPECT_TRUE(platform::exists(folder));
}

}  // namespace
