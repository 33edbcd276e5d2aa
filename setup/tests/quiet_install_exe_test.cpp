// The quiet install as a user runs it: the real morvane-setup --quiet, built
// with the test profile, in a throwaway profile, against a local channel
// that nginx serves on the release host's compiled-in port. These tests hold
// that port, so CTest runs them one at a time.
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/fs.hpp"
#include "setup/tests/disk_views.hpp"
#include "setup/tests/mutex_holder.hpp"
#include "setup/tests/product_release.hpp"
#include "setup/tests/user_profile.hpp"
#include "testkit/site_server.hpp"

namespace setup_test {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

using namespace std::chrono_literals;
using testkit::SiteAnswer;
using testkit::SiteServer;
using testkit::no_content;

constexpr std::int64_t kIssued = 1'700'000'000'000;

class QuietInstallExe : public ::testing::Test {
 protected:
  UserProfile user;
  LocalChannel channel;

  std::string registered_version() const { return user.entry_value("DisplayVersion").value_or("(none)"); }

  void expect_installed(const testkit::Release& release) { EXPECT_EQ(user.differences_from(release), ""); }
};

TEST_F(QuietInstallExe, InstallsTheChannelsReleaseAndLaterUpdatesIt) {
  const testkit::Release first = product_release("1.4.0", kIssued);
  channel.publish(first);

  const ExeRun installed = user.quiet_install();

  ASSERT_EQ(installed.exit_code, 0) << installed.err << read_text(user.setup_log);
  EXPECT_EQ(installed.out, "");
  expect_installed(first);
  EXPECT_TRUE(platform::is_regular_file(user.install / "uninstall.exe"));
  EXPECT_TRUE(platform::is_regular_file(user.start_menu_link));
  EXPECT_TRUE(platform::is_regular_file(user.desktop_link));
  EXPECT_THAT(registered_version(), HasSubstr("1.4.0"));
  EXPECT_TRUE(platform::is_regular_file(user.updates / "history" / "1.4.0" / "release.json"));

  testkit::Release second = product_release("1.5.0", kIssued + 1000);
  second.earlier = {testkit::EarlierRelease{"1.4.0", first.files}};
  channel.publish(second);

  const ExeRun updated = user.quiet_install();

  ASSERT_EQ(updated.exit_code, 0) << updated.err << read_text(user.setup_log);
  expect_installed(second);
  EXPECT_EQ(platform::read_file(user.install / "morvane.exe.old").value_or(platform::Bytes{}), first.files[0].bytes);
  EXPECT_THAT(registered_version(), HasSubstr("1.5.0"));
  EXPECT_FALSE(platform::exists(user.updates / "pending" / "1.5.0"));
  EXPECT_FALSE(platform::exists(user.updates / "swap.journal"));
}

TEST_F(QuietInstallExe, WaitsForNoOtherSetupProgramAndInstallsOnceItIsGone) {
  MutexHolder other_setup(user.run_dir, "Local\\MORVANE.setup");
  ASSERT_TRUE(other_setup.claimed());
  const testkit::Release release = product_release("1.4.0", kIssued);
  channel.publish(release);

  const ExeRun refused = user.quiet_install();

  EXPECT_EQ(refused.exit_code, 1);
  EXPECT_EQ(refused.err, "");
  EXPECT_FALSE(platform::exists(user.local / "Programs"));
  EXPECT_TRUE(channel.requests().empty());

  other_setup.release();
  const ExeRun installed = user.run({"x", "--quiet", "--quiet"});

  EXPECT_EQ(installed.exit_code, 0) << installed.err;
  expect_installed(release);
}

TEST_F(QuietInstallExe, AFailedFirstInstallEndsWithExitCode1AndLeavesItsLogInTheTemporaryFolder) {
  channel.publish(product_release("0.1.300", kIssued));

  const ExeRun r = user.quiet_install();

  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_FALSE(platform::exists(user.install));
  EXPECT_THAT(log_texts(user.temp_log()),
              ElementsAre("the server offers 0.1.300, below this installer's 0.1.382"));
}

// Users whose names PowerShell, cmd or the system's text conversion could
// take for something else: each gets the release, the shortcuts to it and
// the uninstall entry.
TEST(QuietInstallExeProfiles, UsersWithUnusualNamesGetTheReleaseTheShortcutsAndTheEntry) {
  LocalChannel channel;
  const testkit::Release release = quick_release("1.4.0", kIssued);
  channel.publish(release);
  for (const std::string name : {"O’Brien", "‘Ann’ ‚Bo‛", "O'Brien & Co ^x", "Zoë Ångström-Ōta 李"}) {
    SCOPED_TRACE(name);
    const UserProfile user(name);
    const ExeRun installed = user.quiet_install();
    EXPECT_EQ(installed.exit_code, 0) << read_text(user.temp_log()) << read_text(user.setup_log);
    EXPECT_EQ(user.differences_from(release), "");
    EXPECT_TRUE(platform::is_regular_file(user.start_menu_link));
    EXPECT_TRUE(platform::is_regular_file(user.desktop_link));
    // (What `reg query` prints is in the console's code page on Windows, so
    // only the entry's ASCII name is read back.)
    EXPECT_THAT(user.entry_value("DisplayName").value_or("(none)"), HasSubstr("REG_SZ    Morvane"));
  }
}

TEST_F(QuietInstallExe, ASiteAnsweringWithoutEndNeitherHoldsTheInstallNorFillsItsMemory) {
  channel.publish(quick_release("1.4.0", kIssued));
  ExeRun answered;
  {
    SiteServer site(no_content(), configured_site_port());
    answered = user.counted_quiet_install();
    ASSERT_EQ(answered.exit_code, 0) << read_text(user.temp_log());
  }

  SiteServer site(SiteAnswer{.bytes = "HTTP/1.1 200 OK\r\nContent-Length: 1000000000000000\r\n\r\n", .endless = true},
                  configured_site_port());
  const ExeRun endless = user.counted_quiet_install();

  EXPECT_EQ(endless.exit_code, 0) << read_text(user.setup_log);
  EXPECT_TRUE(site.wait_for_requests(1, 5s));
  // The same install again, with no answer's body read: the program hung up
  // at the answer's head, where one that read on would have held the
  // install until the report's wait of three seconds ran out.
  EXPECT_TRUE(site.endless_answer_ended());
  EXPECT_LT(site.endless_answer_lasted(), 2900ms);
  EXPECT_LT(endless.peak_memory_bytes, std::uint64_t{256} << 20);
}

}  // namespace
}  // namespace setup_test
