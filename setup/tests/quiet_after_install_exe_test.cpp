// What morvane-setup --quiet does once the release is in place, and the
// uninstall of what it made, as a user runs them: the uninstaller copy, the
// shortcuts and the uninstall entry made through the real `reg` and
// `powershell` stand-ins, the install report posted to the loopback site
// API, and `--uninstall --quiet` started from the uninstall entry.
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/fs.hpp"
#include "setup/tests/disk_views.hpp"
#include "setup/tests/user_profile.hpp"
#include "testkit/site_server.hpp"

namespace setup_test {
namespace {

using namespace std::chrono_literals;
using testkit::SiteServer;
using testkit::no_content;
using ::testing::Each;
using ::testing::ElementsAre;
using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Pair;
using ::testing::SizeIs;
using ::testing::StartsWith;

constexpr std::int64_t kIssued = 1'700'000'000'000;

std::string report_body(const std::string& kind, const std::string& version) {
  return "{\"k\":\"" + kind + "\",\"v\":\"" + version + "\",\"o\":\"windows\"}";
}

// A step after the release is in place that the computer makes fail.
struct FailingStep {
  std::string name;
  // Breaks it before the run; `mend` puts it right again.
  std::function<void(const UserProfile&)> prepare;
  std::function<void(const UserProfile&)> mend;
  // The failure sentence of the run.
  std::function<std::string(const UserProfile&)> sentence;
  // Which of the later results are there after the failed run.
  bool uninstaller;
  bool shortcuts;
};

std::vector<FailingStep> failing_steps() {
  return {
      {
          // A folder (not empty) where uninstall.exe must be copied.
          .name = "the uninstaller cannot be written",
          .prepare =
              [](const UserProfile& u) {
                ASSERT_TRUE(platform::create_dirs(u.install / "uninstall.exe"));
                ASSERT_TRUE(platform::write_file(u.install / "uninstall.exe" / "x", platform::byte_view("x")));
              },
          .mend = [](const UserProfile& u) { ASSERT_TRUE(platform::remove_dir_all(u.install / "uninstall.exe")); },
          .sentence =
              [](const UserProfile&) {
                return std::string("The uninstaller could not be written: Is a directory (os error 21)");
              },
          .uninstaller = false,
          .shortcuts = false,
      },
      {
          // No Start-menu folder: the shortcut cannot be saved there.
          .name = "a shortcut cannot be made",
          .prepare = [](const UserProfile& u) { ASSERT_TRUE(platform::remove_dir_all(u.start_menu)); },
          .mend = [](const UserProfile& u) { ASSERT_TRUE(platform::create_dirs(u.start_menu)); },
          .sentence =
              [](const UserProfile& u) {
                return "A shortcut could not be made: Exception calling \"Save\" with \"0\" argument(s): \"Unable to "
                       "save shortcut \"" +
                       u.start_menu_link.string() + "\".\"";
              },
          .uninstaller = true,
          .shortcuts = false,
      },
      {
          // A file where the hive's folder should be: `reg add` fails.
          .name = "the uninstall entry cannot be written",
          .prepare =
              [](const UserProfile& u) {
                ASSERT_TRUE(platform::remove_dir_all(u.hive));
                ASSERT_TRUE(platform::write_file(u.hive, platform::byte_view("not a folder")));
              },
          .mend =
              [](const UserProfile& u) {
                ASSERT_TRUE(platform::remove_file(u.hive));
                ASSERT_TRUE(platform::create_dirs(u.hive));
              },
          .sentence =
              [](const UserProfile& u) {
                return "The uninstall entry could not be written: reg: the hive folder " + u.hive.string() +
                       " cannot be made: Not a directory (os error 20)";
              },
          .uninstaller = true,
          .shortcuts = true,
      },
  };
}

TEST(QuietAfterInstallExe, AFailingLaterStepKeepsTheReleaseInstalledAndSendsNoReport) {
  for (const FailingStep& step : failing_steps()) {
    SCOPED_TRACE(step.name);
    UserProfile user;
    LocalChannel channel;
    const testkit::Release release = quick_release("1.4.0", kIssued);
    channel.publish(release);
    step.prepare(user);
    SiteServer site(no_content(), configured_site_port());

    const ExeRun failed = user.counted_quiet_install();

    EXPECT_EQ(failed.exit_code, 1);
    EXPECT_EQ(failed.out + failed.err, "");
    // Installed, and recorded as installed.
    EXPECT_EQ(user.differences_from(release), "");
    EXPECT_TRUE(platform::is_regular_file(user.updates / "history" / "1.4.0" / "release.json"));
    EXPECT_FALSE(platform::exists(user.updates / "pending" / "1.4.0"));
    EXPECT_FALSE(platform::exists(user.temp_log()));
    // No setup.log line, nothing undone, no report.
    EXPECT_THAT(log_texts(user.setup_log), IsEmpty());
    EXPECT_EQ(platform::is_regular_file(user.install / "uninstall.exe"), step.uninstaller);
    EXPECT_FALSE(platform::exists(user.install / "uninstall.part"));
    EXPECT_EQ(platform::exists(user.desktop_link), step.shortcuts);
    EXPECT_FALSE(user.entry_value("DisplayName"));
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(site.connections(), 0);

    // Started without --quiet, on a computer without a display, the same
    // run ends with the step's sentence in the failure box.
    const ExeRun shown = user.run({});
    EXPECT_EQ(shown.exit_code, 1);
    EXPECT_EQ(shown.err, "[Morvane \u2014 not done] (error) " + step.sentence(user) + "\n");
    EXPECT_THAT(log_texts(user.setup_log), IsEmpty());
    EXPECT_EQ(site.connections(), 0);

    // The next run finds the release in place and finishes the job.
    step.mend(user);
    const ExeRun finished = user.counted_quiet_install();
    EXPECT_EQ(finished.exit_code, 0) << read_text(user.setup_log);
    // Fetched once, then kept by the window's run and this one.
    const auto lines = staged_lines(user.updates, "1.4.0");
    ASSERT_THAT(lines, SizeIs(3 * release.files.size()));
    EXPECT_THAT(std::vector<StagedLine>(lines.begin() + static_cast<std::ptrdiff_t>(release.files.size()), lines.end()),
                Each(testing::Field(&StagedLine::second, "kept: the installed file is this release's")));
    EXPECT_TRUE(platform::is_regular_file(user.install / "uninstall.exe"));
    EXPECT_TRUE(platform::is_regular_file(user.start_menu_link));
    EXPECT_TRUE(platform::is_regular_file(user.desktop_link));
    EXPECT_THAT(user.entry_value("DisplayVersion").value_or("(none)"), HasSubstr("REG_SZ    1.4.0"));
    ASSERT_TRUE(site.wait_for_requests(1, 5s));
    EXPECT_THAT(site.requests(), ElementsAre(EndsWith("\r\n\r\n" + report_body("reinstalled", "1.4.0"))));
  }
}

TEST(QuietAfterInstallExe, TheUninstallFromTheEntryRemovesWhatTheInstallMadeAndReportsIt) {
  UserProfile user;
  LocalChannel channel;
  channel.publish(quick_release("1.4.0", kIssued));
  const platform::Path data = user.local / "MORVANE";
  ASSERT_TRUE(platform::create_dirs(data));
  ASSERT_TRUE(platform::write_file(data / "settings.json", platform::byte_view("{}")));
  SiteServer site(no_content(), configured_site_port());
  const ExeRun installed = user.counted_quiet_install();
  ASSERT_EQ(installed.exit_code, 0) << read_text(user.temp_log());
  ASSERT_TRUE(site.wait_for_requests(1, 5s));
  EXPECT_THAT(site.requests()[0], StartsWith("POST /api/site/setup HTTP/1.1\r\n"));
  EXPECT_THAT(site.requests()[0], EndsWith("\r\n\r\n" + report_body("installed", "1.4.0")));

  // What the entry starts, with --quiet added.
  const std::string uninstall_string = user.entry_value("UninstallString").value_or("(none)");
  const platform::Path uninstaller = user.install / "uninstall.exe";
  EXPECT_THAT(uninstall_string, HasSubstr("REG_SZ    \"" + uninstaller.string() + "\" --uninstall\r\n"));
  const ExeRun removed = user.run_program(uninstaller, {"--uninstall", "--quiet"},
                                          {{"MORVANE_SETUP_UNCOUNTED", std::nullopt}});
  const auto ended = std::chrono::steady_clock::now();

  EXPECT_EQ(removed.exit_code, 0);
  EXPECT_EQ(removed.out + removed.err, "");
  EXPECT_FALSE(platform::exists(user.start_menu_link));
  EXPECT_FALSE(platform::exists(user.desktop_link));
  EXPECT_FALSE(user.entry_value("DisplayName"));
  EXPECT_FALSE(user.entry_value("DisplayVersion"));
  // The files and the folder go at once.
  EXPECT_FALSE(platform::exists(user.install));
  ASSERT_TRUE(site.wait_for_requests(2, 5s));
  EXPECT_THAT(site.requests()[1], StartsWith("POST /api/site/setup HTTP/1.1\r\n"));
  EXPECT_THAT(site.requests()[1], EndsWith("\r\n\r\n" + report_body("uninstalled", "1.4.0")));
  // Nothing of the uninstaller is left a while after it has ended.
  std::this_thread::sleep_for(3s - (std::chrono::steady_clock::now() - ended));
  EXPECT_THAT(sorted_entries(user.local / "Programs"), IsEmpty());
  EXPECT_THAT(sorted_entries(data), ElementsAre("settings.json"));

  // Installed again, it is a first install once more.
  const ExeRun again = user.counted_quiet_install();
  EXPECT_EQ(again.exit_code, 0) << read_text(user.temp_log());
  ASSERT_TRUE(site.wait_for_requests(3, 5s));
  EXPECT_THAT(site.requests()[2], EndsWith("\r\n\r\n" + report_body("installed", "1.4.0")));
}

// A user who "reinstalls to fix it": the uninstall from the entry, and at
// once the installer again. What the uninstall leaves to do after it has
// ended never reaches the new installation.
TEST(QuietAfterInstallExe, AnInstallRightAfterAnUninstallStaysWhole) {
  for (const bool quiet : {true, false}) {
    SCOPED_TRACE(quiet ? "quiet" : "with the box");
    UserProfile user;
    LocalChannel channel;
    const testkit::Release release = quick_release("1.4.0", kIssued);
    channel.publish(release);
    ASSERT_EQ(user.quiet_install().exit_code, 0) << read_text(user.temp_log());

    std::vector<std::string> args{"--uninstall"};
    if (quiet) args.push_back("--quiet");
    const ExeRun removed = user.run_program(user.install / "uninstall.exe", args);
    ASSERT_EQ(removed.exit_code, 0) << removed.err;
    const ExeRun installed = user.quiet_install();
    ASSERT_EQ(installed.exit_code, 0) << read_text(user.temp_log());

    std::this_thread::sleep_for(6s);
    EXPECT_EQ(user.differences_from(release), "");
    EXPECT_TRUE(platform::is_regular_file(user.install / "uninstall.exe"));
    EXPECT_THAT(user.entry_value("DisplayVersion").value_or("(none)"), HasSubstr("REG_SZ    1.4.0"));
    EXPECT_TRUE(platform::is_regular_file(user.desktop_link));
    EXPECT_THAT(sorted_entries(user.local / "Programs"), ElementsAre("MORVANE"));
  }
}

}  // namespace
}  // namespace setup_test
