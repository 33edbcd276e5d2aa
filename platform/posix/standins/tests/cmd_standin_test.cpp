// The `cmd` stand-in: the delayed removals it takes and does (a folder, a
// file), the variables it expands in its text as cmd does, and its
// refusals.
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/fs.hpp"
#include "platform/posix/standins/tests/standin_env.hpp"
#include "testkit/scoped_env.hpp"

namespace {

using namespace std::chrono_literals;
using standin_test::run;

std::string removal(int count, const platform::Path& folder) {
  return "ping -n " + std::to_string(count) + " 127.0.0.1 >nul & rmdir /s /q \"" + folder.string() + "\"";
}

// The arguments that the program gives it.
std::vector<std::string> removal_args(int count, const platform::Path& folder) {
  return {"/d", "/v:off", "/c", removal(count, folder)};
}

std::vector<std::string> file_removal_args(int count, const std::string& name) {
  return {"/d", "/v:off", "/c", "ping -n " + std::to_string(count) + " 127.0.0.1 >nul & del /f /q \"" + name + "\""};
}

bool gone_within(const platform::Path& folder, std::chrono::milliseconds time) {
  const auto until = std::chrono::steady_clock::now() + time;
  while (platform::exists(folder) && std::chrono::steady_clock::now() < until) std::this_thread::sleep_for(50ms);
  return !platform::exists(folder);
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
  const auto r = run("cmd", removal_args(2, folder));
  const auto took = std::chrono::steady_clock::now() - began;
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_GE(took, 950ms);
  EXPECT_LT(took, 10s);
  EXPECT_FALSE(platform::exists(folder));
  EXPECT_TRUE(platform::is_regular_file(outside / "keep"));
}

TEST(CmdStandin, StartedWithoutBeingWaitedForItRemovesTheFolderLater) {
  testkit::TempDir dir;
  const auto folder = dir / "MORVANE";
  ASSERT_TRUE(platform::create_dirs(folder));
  ASSERT_TRUE(platform::write_file(folder / "uninstall.exe", platform::byte_view("x")));
  ASSERT_TRUE(platform::spawn_hidden("cmd", removal_args(3, folder)));
  std::this_thread::sleep_for(1500ms);
  EXPECT_TRUE(platform::exists(folder / "uninstall.exe"));
  EXPECT_TRUE(gone_within(folder, 6s));
}

TEST(CmdStandin, TakesItsSwitchesInEitherOrderOrNone) {
  testkit::TempDir dir;
  const auto folder = dir / "f";
  for (const auto& switches : std::vector<std::vector<std::string>>{{}, {"/d"}, {"/v:off"}, {"/v:off", "/d"}}) {
    SCOPED_TRACE(switches.size());
    ASSERT_TRUE(platform::create_dirs(folder));
    auto args = switches;
    args.insert(args.end(), {"/c", removal(1, folder)});
    const auto r = run("cmd", args);
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_FALSE(platform::exists(folder));
  }
}

TEST(CmdStandin, ExpandsTheVariablesOfItsTextOnceEvenBetweenQuotes) {
  // A folder named after a variable, as a user's profile may be: cmd reads
  // %TEMP% in its text as the variable's value.
  testkit::TempDir dir;
  const auto odd = dir / "p%TEMP%q";
  const auto expanded = dir / "p%MORVANE_STANDIN_TEMP%q";
  const auto unset = dir / "p%MORVANE_NOT_SET%q";
  for (const auto& folder : {odd, expanded, unset}) ASSERT_TRUE(platform::create_dirs(folder));
  testkit::ScopedEnv temp("TEMP", "%MORVANE_STANDIN_TEMP%");
  testkit::ScopedEnv inner("MORVANE_STANDIN_TEMP", "never read");

  auto r = run("cmd", removal_args(1, odd));
  // The value came in as written and was not read again.
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_TRUE(platform::exists(odd));
  EXPECT_FALSE(platform::exists(expanded));

  // A variable that is not set stays as written.
  r = run("cmd", removal_args(1, unset));
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_FALSE(platform::exists(unset));
}

TEST(CmdStandin, AFolderByItsNameIsTheOneInItsWorkingFolder) {
  testkit::TempDir dir;
  const auto parent = dir / "p%TEMP%q!x!";
  ASSERT_TRUE(platform::create_dirs(parent / "MORVANE" / "sub"));
  ASSERT_TRUE(platform::create_dirs(dir / "MORVANE"));
  ASSERT_TRUE(platform::spawn_hidden_in(parent, "cmd", removal_args(1, "MORVANE")));
  EXPECT_TRUE(gone_within(parent / "MORVANE", 5s));
  EXPECT_TRUE(platform::exists(parent));
  EXPECT_TRUE(platform::exists(dir / "MORVANE"));
}

TEST(CmdStandin, DeletesTheOneFileByItsNameInItsWorkingFolderAfterThePause) {
  testkit::TempDir dir;
  const auto parent = dir / "Programs";
  ASSERT_TRUE(platform::create_dirs(parent / "MORVANE"));
  for (const auto& file : {parent / "morvane-uninstall-12.exe", parent / "morvane-uninstall-1.exe",
                           parent / "MORVANE" / "morvane-uninstall-12.exe", dir / "morvane-uninstall-12.exe"}) {
    ASSERT_TRUE(platform::write_file(file, platform::byte_view("x")));
  }
  std::filesystem::permissions(parent / "morvane-uninstall-12.exe", std::filesystem::perms::owner_read);
  ASSERT_TRUE(platform::spawn_hidden_in(parent, "cmd", file_removal_args(2, "morvane-uninstall-12.exe")));
  std::this_thread::sleep_for(300ms);
  EXPECT_TRUE(platform::exists(parent / "morvane-uninstall-12.exe"));
  EXPECT_TRUE(gone_within(parent / "morvane-uninstall-12.exe", 6s));
  EXPECT_TRUE(platform::exists(parent / "morvane-uninstall-1.exe"));
  EXPECT_TRUE(platform::exists(parent / "MORVANE" / "morvane-uninstall-12.exe"));
  EXPECT_TRUE(platform::exists(dir / "morvane-uninstall-12.exe"));

  // A link goes as itself.
  std::filesystem::create_symlink(parent / "morvane-uninstall-1.exe", parent / "link.exe");
  const auto r = run("cmd", file_removal_args(1, (parent / "link.exe").string()));
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_FALSE(std::filesystem::is_symlink(parent / "link.exe"));
  EXPECT_TRUE(platform::exists(parent / "morvane-uninstall-1.exe"));
}

TEST(CmdStandin, DeletesNoFolderAndNoWildcardAndSaysWhenTheFileIsMissing) {
  testkit::TempDir dir;
  ASSERT_TRUE(platform::create_dirs(dir / "MORVANE"));
  ASSERT_TRUE(platform::write_file(dir / "MORVANE" / "morvane.exe", platform::byte_view("x")));
  ASSERT_TRUE(platform::write_file(dir / "a.exe", platform::byte_view("x")));
  for (const std::string name : {"MORVANE", "*.exe", "a?exe"}) {
    SCOPED_TRACE(name);
    const auto r = run("cmd", file_removal_args(1, (dir / name).string()));
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_TRUE(r.err.starts_with("cmd: this stand-in takes only")) << r.err;
  }
  EXPECT_TRUE(platform::exists(dir / "MORVANE" / "morvane.exe"));
  EXPECT_TRUE(platform::exists(dir / "a.exe"));

  const auto r = run("cmd", file_removal_args(1, (dir / "none.exe").string()));
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.err, "Could Not Find " + (dir / "none.exe").string() + "\r\n");
}

TEST(CmdStandin, AMissingFolderOrAFileIsAnError) {
  testkit::TempDir dir;
  auto r = run("cmd", removal_args(1, dir / "none"));
  EXPECT_EQ(r.exit_code, 2);
  EXPECT_EQ(r.err, "The system cannot find the file specified.\r\n");

  ASSERT_TRUE(platform::write_file(dir / "file", platform::byte_view("x")));
  r = run("cmd", removal_args(1, dir / "file"));
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
      {"/d", "/k", good},
      {"/d", "/d", "/c", good},
      {"/v:on", "/c", good},
      {"/d", "/v:off"},
      {"/c", good, "extra"},
      {"/d", "/c", good, "extra"},
      {"/c", "rmdir /s /q \"" + folder.string() + "\""},
      {"/c", "ping -n 0 127.0.0.1 >nul & rmdir /s /q \"" + folder.string() + "\""},
      {"/c", "ping -n x 127.0.0.1 >nul & rmdir /s /q \"" + folder.string() + "\""},
      {"/c", "ping -n 1 10.0.0.1 >nul & rmdir /s /q \"" + folder.string() + "\""},
      {"/c", "ping -n 1 127.0.0.1 >nul & rmdir /s \"" + folder.string() + "\""},
      {"/c", "ping -n 1 127.0.0.1 >nul & rmdir /s /q " + folder.string()},
      {"/c", "ping -n 1 127.0.0.1 >nul & rmdir /s /q \"\""},
      {"/c", "ping -n 1 127.0.0.1 >nul & del /q \"" + folder.string() + "\""},
      {"/c", "ping -n 1 127.0.0.1 >nul & del /f \"" + folder.string() + "\""},
      {"/c", "ping -n 1 127.0.0.1 >nul & del /f /q " + folder.string()},
      {"/c", "ping -n 1 127.0.0.1 >nul & del /f /q \"\""},
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
