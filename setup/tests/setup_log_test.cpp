#include <cstdint>
#include <regex>
#include <string>

#include <gtest/gtest.h>

#include "platform/fs.hpp"
#include "setup/common/setup_log.hpp"
#include "testkit/file_text.hpp"
#include "testkit/temp_dir.hpp"
#include "update/store/clock.hpp"

namespace setup {
namespace {

using testkit::read_text;

// A fresh folder that stands for %LOCALAPPDATA%; the install folder below it
// does not exist yet.
class SetupLog : public ::testing::Test {
 protected:
  testkit::TempDir local;
  platform::Path install_dir = local.path() / "Programs" / "MORVANE";
  platform::Path log = install_dir / "updates" / "setup.log";
};

TEST_F(SetupLog, LivesInTheUpdatesFolder) { EXPECT_EQ(setup_log_path(install_dir), log); }

TEST_F(SetupLog, AnEntryIsMillisecondsABlankTheTextAndALineFeed) {
  const std::uint64_t before = update::now_ms();
  append_setup_log(install_dir, "abc");
  const std::uint64_t after = update::now_ms();

  // Both the install folder and its updates folder were created.
  ASSERT_TRUE(platform::is_regular_file(log));
  const std::string text = read_text(log);
  std::smatch match;
  ASSERT_TRUE(std::regex_match(text, match, std::regex("([0-9]+) abc\n"))) << text;
  const std::uint64_t stamp = std::stoull(match[1].str());
  EXPECT_GE(stamp, before);
  EXPECT_LE(stamp, after);
}

TEST_F(SetupLog, AppendsAndKeepsTheTextUnchanged) {
  append_setup_log(install_dir, "first");
  append_setup_log(install_dir, "two\nlines");
  append_setup_log(install_dir, "");
  append_setup_log(install_dir, "caf\u00e9 \u2014 done\u2026");
  const std::string text = read_text(log);
  EXPECT_TRUE(std::regex_match(text, std::regex("[0-9]+ first\n"
                                                "[0-9]+ two\nlines\n"
                                                "[0-9]+ \n"
                                                "[0-9]+ caf\u00e9 \u2014 done\u2026\n")))
      << text;
}

TEST_F(SetupLog, AnExistingLogIsAppendedToNeverTruncated) {
  ASSERT_TRUE(platform::create_dirs(log.parent_path()));
  ASSERT_TRUE(platform::write_file(log, platform::byte_view("1 older line\n")));
  append_setup_log(install_dir, "newer");
  EXPECT_TRUE(std::regex_match(read_text(log), std::regex("1 older line\n[0-9]+ newer\n"))) << read_text(log);
}

TEST_F(SetupLog, FailuresAreIgnored) {
  // "updates" is a file: the folder cannot be made and the log not opened.
  ASSERT_TRUE(platform::create_dirs(install_dir));
  ASSERT_TRUE(platform::write_file(install_dir / "updates", platform::byte_view("not a folder")));
  append_setup_log(install_dir, "lost");
  EXPECT_EQ(read_text(install_dir / "updates"), "not a folder");

  // "setup.log" is a folder.
  const platform::Path other = local.path() / "other";
  ASSERT_TRUE(platform::create_dirs(other / "updates" / "setup.log"));
  append_setup_log(other, "lost");
  EXPECT_TRUE(platform::metadata(other / "updates" / "setup.log")->is_dir);

  // The install folder's own path is a file.
  const platform::Path blocked = local.path() / "blocked";
  ASSERT_TRUE(platform::write_file(blocked, platform::byte_view("x")));
  append_setup_log(blocked, "lost");
  EXPECT_EQ(read_text(blocked), "x");
}

}  // namespace
}  // namespace setup
