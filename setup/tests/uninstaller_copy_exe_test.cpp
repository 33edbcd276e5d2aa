// The uninstaller copy as a user meets it, through the real morvane-setup:
// a disk that fills up while the new uninstaller is copied, and the installed
// uninstaller started through a linked LOCALAPPDATA.
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/fs.hpp"
#include "platform/process.hpp"
#include "setup/tests/disk_views.hpp"
#include "setup/tests/user_profile.hpp"
#include "testkit/small_disk.hpp"

namespace setup_test {
namespace {

constexpr std::int64_t kIssued = 1'700'000'000'000;

ino_t inode_of(const platform::Path& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

TEST(UninstallerCopyExe, ADiskThatFillsUpKeepsTheOldUninstallerWholeAndSaysWhy) {
  UserProfile user;
  // LOCALAPPDATA on a disk of its own, with room for the release, its
  // staging and two uninstallers.
  const std::uint64_t program_size = platform::metadata(platform::Path(MORVANE_SETUP_EXE)).value().size;
  testkit::SmallDisk disk(2 * program_size + (16 << 20), user.local);
  if (!disk.failure().empty()) GTEST_SKIP() << disk.failure();
  LocalChannel channel;
  const testkit::Release release = quick_release("1.4.0", kIssued);
  channel.publish(release);
  const ExeRun installed = user.quiet_install();
  ASSERT_EQ(installed.exit_code, 0) << read_text(user.temp_log());
  // The uninstaller of an earlier setup program, a smaller one: this one
  // without its symbols.
  const platform::Path uninstaller = user.install / "uninstall.exe";
  const auto stripped = platform::run_hidden("strip", {"-o", uninstaller.string(), MORVANE_SETUP_EXE});
  ASSERT_TRUE(stripped && stripped->exit_code == 0) << "strip failed";
  const auto before = platform::read_file(uninstaller);
  ASSERT_TRUE(before);

  // Room for the run's records and logs, not for the new uninstaller, even
  // where the old one stood.
  ASSERT_EQ(disk.fill(1 << 20), "");
  ASSERT_LT(before->size() + (2 << 20), program_size);
  const ExeRun failed = user.quiet_install();
  EXPECT_EQ(failed.exit_code, 1);
  EXPECT_EQ(failed.out + failed.err, "");
  // Started without --quiet on a computer without a display, the run shows
  // the system's reason in its failure box.
  const ExeRun shown = user.run({});
  EXPECT_EQ(shown.exit_code, 1);
  EXPECT_EQ(shown.err,
            "[Morvane \u2014 not done] (error) The uninstaller could not be written: No space left on device (os error "
            "28)\n");

  // The old uninstaller is whole, nothing half-written is left beside it,
  // and the release stays installed.
  const auto after = platform::read_file(uninstaller);
  ASSERT_TRUE(after);
  EXPECT_TRUE(*after == *before) << "uninstall.exe is " << after->size() << " bytes, was " << before->size();
  EXPECT_FALSE(platform::exists(user.install / "uninstall.part"));
  EXPECT_EQ(user.differences_from(release), "");

  // And it still removes the installation.
  const ExeRun removed = user.run_program(uninstaller, {"--uninstall", "--quiet"});
  EXPECT_EQ(removed.exit_code, 0) << removed.err;
  // The uninstaller moved itself out, and the folder went at once.
  EXPECT_FALSE(platform::exists(user.install));
}

TEST(UninstallerCopyExe, TheInstalledUninstallerStartedThroughALinkedFolderIsNotCopiedOntoItself) {
  UserProfile user;
  LocalChannel channel;
  channel.publish(quick_release("1.4.0", kIssued));
  const ExeRun installed = user.quiet_install();
  ASSERT_EQ(installed.exit_code, 0) << read_text(user.temp_log());
  const ino_t inode = inode_of(user.install / "uninstall.exe");
  ASSERT_NE(inode, 0u);

  // LOCALAPPDATA is a link to the folder that holds the installation, and
  // the installed uninstaller is started through it.
  const platform::Path linked = user.root / "linked-local";
  std::filesystem::create_directory_symlink(user.local, linked);
  const EnvChanges through_link = {{"LOCALAPPDATA", linked.string()}};
  const platform::Path uninstaller = linked / "Programs" / "MORVANE" / "uninstall.exe";

  const ExeRun again = user.run_program(uninstaller, {"--quiet"}, through_link);
  EXPECT_EQ(again.exit_code, 0) << again.err;
  EXPECT_EQ(inode_of(user.install / "uninstall.exe"), inode) << "the uninstaller was replaced";
  EXPECT_FALSE(platform::exists(user.install / "uninstall.part"));

  const ExeRun removed = user.run_program(uninstaller, {"--uninstall", "--quiet"}, through_link);
  EXPECT_EQ(removed.exit_code, 0) << removed.err;
  // The uninstaller moved itself out, and the folder went at once.
  EXPECT_FALSE(platform::exists(user.install));
}

}  // namespace
}  // namespace setup_test
