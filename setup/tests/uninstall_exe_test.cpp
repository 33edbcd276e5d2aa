// The uninstall as a user runs it: the real morvane-setup with --uninstall,
// in a throwaway profile whose installation was made by the installer's own
// steps, with the real `reg`, `powershell` and `cmd` stand-ins and the
// loopback site API.
#include <chrono>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/fs.hpp"
#include "platform/process.hpp"
#include "setup/install/shortcuts.hpp"
#include "setup/install/uninstall_entry.hpp"
#include "setup/tests/failure_text.hpp"
#include "setup/tests/scoped_env.hpp"
#include "setup/tests/setup_process.hpp"
#include "setup/tests/user_profile.hpp"
#include "testkit/release/product_standin.hpp"
#include "testkit/site_server.hpp"

namespace {

using namespace std::chrono_literals;
using setup_test::EnvChanges;
using setup_test::ExeRun;
using setup_test::ScopedEnv;
using setup_test::sorted_entries;

constexpr const char* removed_box =
    "[Morvane] (information) Morvane is removed. Your data is kept in %LOCALAPPDATA%\\MORVANE and is there if it is "
    "installed again.\n";

// The uninstall runs in a throwaway profile of the test's own.
class UninstallExe : public ::testing::Test, protected setup_test::UserProfile {
 protected:
  explicit UninstallExe(const std::string& user_name = "") : UserProfile(user_name) {}

  platform::Path data = local / "MORVANE";

  ExeRun uninstall(const std::vector<std::string>& args, const EnvChanges& changes = {}) const {
    return run(args, changes);
  }

  // An installation as the installer leaves it: the release's files, the
  // updates folder, uninstall.exe, the shortcuts and the uninstall entry.
  void SetUp() override {
    for (const auto& dir : {home, tmp, cwd, run_dir, data, install / "updates" / "history" / "1.2.3",
                            start_menu_link.parent_path(), desktop_link.parent_path()}) {
      ASSERT_TRUE(platform::create_dirs(dir));
    }
    testkit::write_product_exe(install / "morvane.exe", {.major = 1, .minor = 2, .patch = 3});
    for (const auto& file : {install / "libmorvane.dll", install / "libkesto.dll", install / "Uninstall.exe",
                             install / "uninstall.exe", install / "updates" / "setup.log",
                             install / "updates" / "history" / "1.2.3" / "release.json", data / "settings.json"}) {
      ASSERT_TRUE(platform::write_file(file, platform::byte_view("bytes")));
    }
    ScopedEnv app_data_env("APPDATA", app_data.string());
    ScopedEnv profile_env("USERPROFILE", profile.string());
    ScopedEnv hive_env("MORVANE_HIVE_DIR", hive.string());
    ASSERT_EQ(setup_test::failure_text(setup::make_shortcuts(install / "morvane.exe")), "");
    ASSERT_EQ(setup_test::failure_text(setup::write_uninstall_entry(install, install / "morvane.exe", "1.2.3")), "");
    ASSERT_TRUE(entry_exists());
  }

  bool entry_exists() const {
    ScopedEnv hive_env("MORVANE_HIVE_DIR", hive.string());
    auto r = platform::run_hidden("reg", {"query", setup::uninstall_key_path(), "/v", "DisplayName"});
    return r && r->exit_code == 0;
  }

  // Neither the folder nor the uninstaller's moved file, a while after the
  // uninstaller has ended.
  void expect_nothing_left_in_programs() const {
    std::this_thread::sleep_for(3s);
    EXPECT_EQ(sorted_entries(local / "Programs"), std::vector<std::string>{});
  }

  void expect_users_data_kept() const {
    EXPECT_EQ(sorted_entries(data), (std::vector<std::string>{"settings.json"}));
    EXPECT_TRUE(platform::exists(local / "Programs"));
  }
};

TEST_F(UninstallExe, QuietRemovesShortcutsEntryFilesAndTheFolder) {
  const ExeRun r = uninstall({"--uninstall", "--quiet"});
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out, "");
  EXPECT_FALSE(platform::exists(start_menu_link));
  EXPECT_FALSE(platform::exists(desktop_link));
  EXPECT_FALSE(entry_exists());
  EXPECT_FALSE(platform::exists(install));
  expect_nothing_left_in_programs();
  expect_users_data_kept();
}

TEST_F(UninstallExe, WithoutQuietItEndsWithTheSuccessBox) {
  ExeRun r = uninstall({"--uninstall"});
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.err, removed_box);
  EXPECT_FALSE(platform::exists(install));
  // Run again at once (an option in capitals is no option): nothing is left
  // to remove, and the box says so again.
  r = uninstall({"x", "--uninstall", "--QUIET"});
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.err, removed_box);
  expect_nothing_left_in_programs();
}

TEST_F(UninstallExe, AnEntryThatCannotBeRemovedStopsItWithTheFailureSentence) {
  const platform::Path held = install / "libmorvane.dll";
  setup_test::ImmutableFile immutable(held);
  if (!immutable.failure().empty()) GTEST_SKIP() << immutable.failure();

  ExeRun r = uninstall({"--uninstall", "--quiet"});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.err, "");

  r = uninstall({"--uninstall"});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.err, "[Morvane \u2014 not done] (error) " + held.string() +
                       " could not be removed (Operation not permitted (os error 1)). If Morvane is open, close it "
                       "and uninstall again.\n");
  // Shortcuts and entry went first; no delayed removal was left behind.
  EXPECT_FALSE(platform::exists(start_menu_link));
  EXPECT_FALSE(entry_exists());
  // The entries listed before it are gone; it and uninstall.exe stay.
  std::this_thread::sleep_for(3s);
  EXPECT_TRUE(platform::exists(held));
  EXPECT_TRUE(platform::exists(install / "uninstall.exe"));
}

TEST_F(UninstallExe, WithoutTheProfilesFoldersNothingIsRemoved) {
  const struct {
    std::string variable;
    std::string box;
  } cases[] = {
      {"LOCALAPPDATA", "[Morvane \u2014 not done] (error) This computer gives no LOCALAPPDATA folder.\n"},
      {"APPDATA", "[Morvane \u2014 not done] (error) This computer gives no APPDATA folder.\n"},
      {"USERPROFILE", "[Morvane \u2014 not done] (error) This computer gives no USERPROFILE folder.\n"},
  };
  const auto files = sorted_entries(install);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.variable);
    ExeRun r = uninstall({"--uninstall"}, {{c.variable, std::nullopt}});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.err, c.box);
    r = uninstall({"--quiet", "--uninstall"}, {{c.variable, std::nullopt}});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(sorted_entries(install), files);
    EXPECT_TRUE(platform::exists(start_menu_link));
    EXPECT_TRUE(entry_exists());
  }
}

TEST_F(UninstallExe, AMissingInstallFolderStillSucceedsAndReportsTheRecordedVersion) {
  ASSERT_TRUE(platform::remove_dir_all(install));
  testkit::SiteServer site(testkit::no_content(), setup_test::configured_site_port());
  const ExeRun r = uninstall({"--uninstall", "--quiet"}, {{"MORVANE_SETUP_UNCOUNTED", std::nullopt}});
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.err, "");
  ASSERT_TRUE(site.wait_for_requests(1, 5s));
  const std::string request = site.requests()[0];
  EXPECT_TRUE(request.starts_with("POST /api/site/setup HTTP/1.1\r\n")) << request;
  EXPECT_TRUE(request.ends_with("\r\n\r\n{\"k\":\"uninstalled\",\"v\":\"1.2.3\",\"o\":\"windows\"}")) << request;
  EXPECT_FALSE(entry_exists());
  EXPECT_FALSE(platform::exists(desktop_link));
  expect_users_data_kept();
}

TEST_F(UninstallExe, ASiteThatNeverAnswersHoldsTheEndAtMostThreeSecondsAndTheFolderStillGoes) {
  // A firewall that drops the report's packets: its wait of three seconds
  // is longer than cmd's pause, in both modes.
  const struct {
    std::vector<std::string> args;
    std::string box;
  } cases[] = {
      {{"--uninstall", "--quiet"}, ""},
      {{"--uninstall"}, removed_box},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args.size());
    ASSERT_TRUE(platform::create_dirs(install));
    ASSERT_TRUE(platform::write_file(install / "uninstall.exe", platform::byte_view("bytes")));
    testkit::SiteServer site(testkit::SiteAnswer{.never = true}, setup_test::configured_site_port());
    const ExeRun r = uninstall(c.args, {{"MORVANE_SETUP_UNCOUNTED", std::nullopt}});
    // The report still runs when the process ends; that must not spoil the end.
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.err, c.box);
    EXPECT_GE(r.elapsed, 2900ms);
    EXPECT_LT(r.elapsed, 20s);  // the site would hold it for good
    EXPECT_EQ(site.requests().size(), 1u);
    EXPECT_FALSE(platform::exists(install));
    expect_nothing_left_in_programs();
  }
}

TEST_F(UninstallExe, AnUninstallWithoutARecordedVersionReportsAnEmptyOne) {
  {
    ScopedEnv hive_env("MORVANE_HIVE_DIR", hive.string());
    ASSERT_EQ(platform::run_hidden("reg", {"delete", setup::uninstall_key_path(), "/f"})->exit_code, 0);
  }
  testkit::SiteServer site(testkit::no_content(), setup_test::configured_site_port());
  const ExeRun r = uninstall({"--uninstall"}, {{"MORVANE_SETUP_UNCOUNTED", std::nullopt}});
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.err, removed_box);
  ASSERT_TRUE(site.wait_for_requests(1, 5s));
  EXPECT_TRUE(site.requests()[0].ends_with("{\"k\":\"uninstalled\",\"v\":\"\",\"o\":\"windows\"}"));
  EXPECT_FALSE(platform::exists(install));
}

// A user whose name holds a variable's reference, as cmd would read it.
class UninstallExeForAnOddUser : public UninstallExe {
 protected:
  UninstallExeForAnOddUser() : UninstallExe("p%TEMP%q") {}
};

TEST_F(UninstallExeForAnOddUser, TheFolderGoesThoughItsPathNamesAVariable) {
  ASSERT_NE(platform::display(install).find("%TEMP%"), std::string::npos);
  const ExeRun r = uninstall({"--uninstall", "--quiet"});
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_FALSE(entry_exists());
  EXPECT_FALSE(platform::exists(install));
  expect_nothing_left_in_programs();
  expect_users_data_kept();
}

}  // namespace
