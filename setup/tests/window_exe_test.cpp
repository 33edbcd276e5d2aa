// The real morvane-setup with no option, as a user starts it, on a display
// of the test's own: the splash, the page, the end views, the close, and the
// boxes when the page cannot show the outcome. The window layer's test seams
// (this test build only) tell the test what was shown, let it post page
// messages into the page and answer the boxes. These tests use the
// release host's compiled-in port, so CTest runs them one at a time.
#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/fs.hpp"
#include "platform/named_mutex.hpp"
#include "platform/process.hpp"
#include "setup/tests/disk_views.hpp"
#include "setup/tests/product_release.hpp"
#include "setup/tests/scoped_env.hpp"
#include "setup/tests/setup_process.hpp"
#include "setup/tests/user_profile.hpp"
#include "testkit/release/product_standin.hpp"
#include "testkit/release/release_host.hpp"
#include "testkit/release/release_publisher.hpp"
#include "testkit/site_server.hpp"

namespace setup_test {
namespace {

using namespace std::chrono_literals;
using testkit::SiteAnswer;
using testkit::SiteServer;
using ::testing::Contains;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

constexpr std::int64_t kIssued = 1'700'000'000'000;

// Page scripts for the test seam: each waits for the page to reach a view,
// then posts a message as the page's own buttons would. Another end view
// is closed at once, so that a run that went another way ends soon.
std::string post_when_view(const std::string& view, const std::string& type) {
  return "(function wait() {\n"
         "  const view = document.body && document.body.dataset.view;\n"
         "  if (view === \"" + view + "\") { chrome.webview.postMessage({type: \"" + type + "\"}); return; }\n"
         "  if (view && view !== \"work\") { chrome.webview.postMessage({type: \"close\"}); return; }\n"
         "  setTimeout(wait, 20);\n"
         "})();\n";
}

// A page script that waits for the failed view, runs `then` there (script
// statements) and posts "close".
std::string when_failed(const std::string& then) {
  return "(function wait() {\n"
         "  if (document.body && document.body.dataset.view === \"failed\") {\n" +
         then +
         "    chrome.webview.postMessage({type: \"close\"});\n"
         "    return;\n"
         "  }\n"
         "  setTimeout(wait, 20);\n"
         "})();\n";
}

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = text.find('\n', start);
    lines.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return lines;
}

std::vector<std::string> with_prefix(const std::vector<std::string>& lines, const std::string& prefix) {
  std::vector<std::string> found;
  for (const auto& line : lines) {
    if (line.rfind(prefix, 0) == 0) found.push_back(line);
  }
  return found;
}

std::size_t position(const std::vector<std::string>& lines, const std::string& prefix) {
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].rfind(prefix, 0) == 0) return i;
  }
  return lines.size();
}

// The program runs in a throwaway profile of the test's own.
class WindowExe : public ::testing::Test, protected UserProfile {
 protected:
  void SetUp() override {
    if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "needs a display: CTest runs this under with_xvfb.sh";
    ASSERT_TRUE(platform::create_dirs(channel));
  }

  // The program with no option; `page_script` is run in the page once it
  // has loaded, `box_answers` answers the boxes (absent: the seam is off).
  ExeRun start(const std::string& page_script, std::optional<std::string> box_answers,
               std::map<std::string, std::string> extra = {}) {
    EnvChanges env = {
        {"NO_AT_BRIDGE", "1"},
        {"DISPLAY", std::getenv("DISPLAY")},
        {"MORVANE_TEST_WINDOW_LOG", window_log.string()},
    };
    if (!page_script.empty()) {
      EXPECT_TRUE(platform::write_file(script_file, platform::byte_view(page_script)));
      env["MORVANE_TEST_PAGE_SCRIPT"] = script_file.string();
    }
    if (box_answers) env["MORVANE_TEST_BOX_ANSWERS"] = *box_answers;
    for (auto& [name, value] : extra) {
      if (value.empty()) {
        env[name] = std::nullopt;
      } else {
        env[name] = value;
      }
    }
    return run({}, env);
  }

  std::vector<std::string> shown() const { return lines_of(read_text(window_log)); }

  // No web view data folder of any run is left in the temporary folder.
  void expect_no_data_folder_left() const {
    for (const auto& name : sorted_entries(tmp)) {
      EXPECT_FALSE(name.rfind("morvane-setup-", 0) == 0 && platform::metadata(tmp / name).value().is_dir) << name;
    }
  }

  platform::Path channel = root / "channel";
  platform::Path window_log = root / "window.log";
  platform::Path script_file = root / "page.js";
};

TEST_F(WindowExe, WithAnEmptyChannelTheFailedViewShowsAndACloseThereEndsWithExitOneAndNoBox) {
  const testkit::ReleaseHost host(channel, configured_release_port());
  const ExeRun r = start(post_when_view("failed", "close"), "");
  ASSERT_FALSE(host.requests().empty()) << "another server took the release host's port";
  EXPECT_EQ(r.exit_code, 1) << r.err << "\n" << read_text(window_log);
  const auto log = shown();
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.front(), "splash: Starting the Morvane installer\u2026");
  EXPECT_THAT(log, Contains("script: mv.state({\"phase\":\"starting\"})"));
  const auto failed = with_prefix(log, "script: mv.failed(");
  ASSERT_EQ(failed.size(), 1u);
  EXPECT_THAT(failed[0], StartsWith("script: mv.failed({\"sentence\":\"Morvane"));
  EXPECT_LT(position(log, "script: mv.state("), position(log, "script: mv.failed("));
  EXPECT_LT(position(log, "main window shown"), position(log, "splash closed"));
  EXPECT_LT(position(log, "splash closed"), log.size());
  EXPECT_THAT(with_prefix(log, "box:"), ::testing::IsEmpty());
  EXPECT_THAT(r.err, Not(HasSubstr("[Morvane")));
  expect_no_data_folder_left();
}

// The page's colours follow the user's app theme, as the window's and the
// web view's background do, whatever the desktop's own dark setting says.
TEST_F(WindowExe, ThePageTakesTheThemeOfTheUsersAppSettingNotTheDesktops) {
  const struct {
    std::string apps_use_light_theme;
    bool desktop_prefers_dark;
    std::string theme_script;
    std::string bar;
  } cases[] = {
      {"0", false, R"(mv.theme("dark"))", "rgb(10, 6, 24)"},
      {"1", true, R"(mv.theme("light"))", "rgb(251, 248, 241)"},
  };
  const testkit::ReleaseHost host(channel, configured_release_port());
  for (const auto& c : cases) {
    SCOPED_TRACE(c.theme_script);
    (void)platform::remove_file(window_log);
    {
      ScopedEnv hive_env("MORVANE_HIVE_DIR", hive.string());
      const auto added = platform::run_hidden(
          "reg", {"add", "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize", "/v",
                  "AppsUseLightTheme", "/t", "REG_DWORD", "/d", c.apps_use_light_theme, "/f"});
      ASSERT_TRUE(added && added->exit_code == 0);
    }
    const std::string settings = std::string("[Settings]\ngtk-application-prefer-dark-theme=") +
                                 (c.desktop_prefers_dark ? "1" : "0") + "\n";
    ASSERT_TRUE(platform::create_dirs(home / ".config" / "gtk-3.0"));
    ASSERT_TRUE(platform::write_file(home / ".config" / "gtk-3.0" / "settings.ini", platform::byte_view(settings)));

    // In the failed view the page minimises the window when its bar is not
    // in the expected colour, then closes.
    const ExeRun r = start(when_failed("    if (getComputedStyle(document.querySelector(\"#bar\")).backgroundColor !== \"" +
                                       c.bar + "\") chrome.webview.postMessage({type: \"minimize\"});\n"),
                           "");
    EXPECT_EQ(r.exit_code, 1) << r.err << "\n" << read_text(window_log);
    const auto log = shown();
    EXPECT_THAT(log, Contains("script: " + c.theme_script));
    EXPECT_LT(position(log, "script: " + c.theme_script), position(log, "main window shown"));
    EXPECT_THAT(log, Not(Contains("main window minimised"))) << "the page's bar is not " << c.bar;
  }
}

TEST_F(WindowExe, TheDoneViewShowsTheInstallAndACloseThereEndsWithExitZeroAndNoBox) {
  const testkit::Release release = product_release("1.4.0", kIssued);
  auto published = testkit::publish_release(channel, release);
  ASSERT_TRUE(published) << published.error();
  testkit::ReleaseHost host(channel, configured_release_port());

  const ExeRun r = start(post_when_view("done", "close"), "");
  ASSERT_FALSE(host.requests().empty()) << "another server took the release host's port";

  EXPECT_EQ(r.exit_code, 0) << r.err << read_text(install / "updates" / "setup.log");
  const auto log = shown();
  EXPECT_THAT(log, Contains("script: mv.done({\"version\":\"1.4.0\",\"updated\":false})"));
  // The work may be over before the page is ready: the page then goes
  // straight from its first state to the done view.
  EXPECT_LT(position(log, "script: mv.state("), position(log, "script: mv.done("));
  EXPECT_THAT(with_prefix(log, "box:"), ::testing::IsEmpty());
  EXPECT_TRUE(platform::is_regular_file(install / "morvane.exe"));
  EXPECT_TRUE(platform::is_regular_file(install / "uninstall.exe"));
  expect_no_data_folder_left();
}

TEST_F(WindowExe, OpenInTheDoneViewStartsTheInstalledProduct) {
  const testkit::Release release = product_release("1.4.0", kIssued);
  auto published = testkit::publish_release(channel, release);
  ASSERT_TRUE(published) << published.error();
  testkit::ReleaseHost host(channel, configured_release_port());
  const platform::Path product_log = root / "product.log";

  const ExeRun r = start(post_when_view("done", "open"), "",
                         {{"MORVANE_PRODUCT_STANDIN", testkit::product_standin_program().string()},
                          {"MORVANE_PRODUCT_STANDIN_LOG", product_log.string()},
                          {"MORVANE_PRODUCT_SECONDS", "30"}});
  ASSERT_FALSE(host.requests().empty()) << "another server took the release host's port";
  EXPECT_EQ(r.exit_code, 0) << r.err << read_text(install / "updates" / "setup.log");
  const platform::Path exe = install / "morvane.exe";
  EXPECT_THAT(shown(), Contains("start program: " + exe.string() + " in " + install.string()));

  // The product stand-in that the installed morvane.exe starts logs itself
  // once it holds the product's mutex.
  std::string started;
  for (int i = 0; i < 500 && (started = read_text(product_log)).empty(); ++i) std::this_thread::sleep_for(20ms);
  ASSERT_THAT(started, ::testing::EndsWith(" " + exe.string() + "\n")) << "the product did not start";
  {
    ScopedEnv runtime("XDG_RUNTIME_DIR", run_dir.string());
    EXPECT_TRUE(platform::named_mutex_exists("Global\\MORVANE.instance"));
  }
  ::kill(static_cast<pid_t>(std::stol(started)), SIGKILL);
}

// Details in the failed view opens the log with the desktop's opener,
// xdg-open, which here finds a handler of the test's own for text files
// in the profile's desktop settings.
TEST_F(WindowExe, DetailsInTheFailedViewOpensTheLogWithTheDesktopsOpener) {
  const platform::Path opened = root / "opened";
  const platform::Path handler = root / "record-opened";
  ASSERT_TRUE(platform::write_file(
      handler, platform::byte_view("#!/bin/sh\nprintf '%s\\n' \"$@\" >>'" + opened.string() + "'\n")));
  ASSERT_TRUE(platform::mark_executable(handler));
  const platform::Path applications = home / ".local" / "share" / "applications";
  ASSERT_TRUE(platform::create_dirs(applications));
  ASSERT_TRUE(platform::write_file(applications / "morvane-test-log-viewer.desktop",
                                   platform::byte_view("[Desktop Entry]\nType=Application\nName=Log viewer\nExec=" +
                                                       handler.string() + " %f\nMimeType=text/plain;\n")));
  ASSERT_TRUE(platform::create_dirs(home / ".config"));
  ASSERT_TRUE(platform::write_file(home / ".config" / "mimeapps.list",
                                   platform::byte_view("[Default Applications]\ntext/plain=morvane-test-log-viewer.desktop\n")));

  const testkit::ReleaseHost host(channel, configured_release_port());
  const ExeRun r = start(when_failed("    chrome.webview.postMessage({type: \"details\"});\n"), "");
  EXPECT_EQ(r.exit_code, 1) << r.err << "\n" << read_text(window_log);
  // A first install that failed leaves its log in the temporary folder.
  const platform::Path log = temp_log();
  ASSERT_TRUE(platform::is_regular_file(log));
  EXPECT_THAT(shown(), Contains("open file: " + log.string()));
  std::string handed;
  for (int i = 0; i < 500 && (handed = read_text(opened)).empty(); ++i) std::this_thread::sleep_for(20ms);
  EXPECT_EQ(handed, log.string() + "\n") << "the desktop's opener did not hand the log on";
}

TEST_F(WindowExe, YesToACloseWhileTheWorkWaitsEndsTheProcessAtOnceWithExitOne) {
  // A release host that takes the request and never answers it.
  SiteServer silent(SiteAnswer{.never = true}, configured_release_port());
  const ExeRun r = start("chrome.webview.postMessage({type: \"close\"});", "yes");
  EXPECT_EQ(r.exit_code, 1) << r.err << "\n" << read_text(window_log);
  EXPECT_LT(r.elapsed, 15s);
  const auto log = shown();
  EXPECT_THAT(log, Contains("box: [Morvane Setup] (question) Stop installing Morvane? Nothing will be installed. -> yes"));
  EXPECT_LT(position(log, "box: [Morvane Setup]"), position(log, "main window hidden"));
  EXPECT_EQ(with_prefix(log, "box:").size(), 1u) << "no final box";
  EXPECT_THAT(with_prefix(log, "script: mv.failed("), ::testing::IsEmpty());
  EXPECT_GE(silent.connections(), 1);
  expect_no_data_folder_left();
}

TEST_F(WindowExe, AWebViewThatCannotBeCreatedLeavesTheOutcomeToABox) {
  const testkit::ReleaseHost host(channel, configured_release_port());
  const ExeRun r = start("", "", {{"MORVANE_TEST_NO_WEB_VIEW", "1"}});
  ASSERT_FALSE(host.requests().empty()) << "another server took the release host's port";
  EXPECT_EQ(r.exit_code, 1) << r.err << "\n" << read_text(window_log);
  const auto log = shown();
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.front(), "splash: Starting the Morvane installer\u2026");
  EXPECT_THAT(log, Not(Contains("main window shown")));
  const auto boxes = with_prefix(log, "box:");
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_THAT(boxes[0], StartsWith("box: [Morvane \u2014 not done] (error) Morvane"));
  EXPECT_LT(position(log, "splash closed"), position(log, "box:"));
}

TEST_F(WindowExe, WithoutADisplayTheOutcomeIsTheBoxLineOnStandardError) {
  const testkit::ReleaseHost host(channel, configured_release_port());
  const ExeRun r = start("", std::nullopt, {{"DISPLAY", ""}});
  ASSERT_FALSE(host.requests().empty()) << "another server took the release host's port";
  EXPECT_EQ(r.exit_code, 1) << r.err;
  EXPECT_THAT(lines_of(r.err), Contains(StartsWith("[Morvane \u2014 not done] (error) Morvane")));
  EXPECT_TRUE(shown().empty()) << "no window was shown";
}

TEST_F(WindowExe, ARefusedStartShowsItsBoxAndStartsNothing) {
  {
    const ExeRun r = start("", "", {{"LOCALAPPDATA", ""}});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(shown(), std::vector<std::string>{
                           "box: [Morvane \u2014 not done] (error) This computer gives no LOCALAPPDATA folder."});
  }
  (void)platform::remove_file(window_log);
  ScopedEnv runtime("XDG_RUNTIME_DIR", run_dir.string());
  ASSERT_TRUE(platform::claim_named_mutex("Local\\MORVANE.setup"));
  const ExeRun r = start("", "");
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(shown(),
            std::vector<std::string>{"box: [Morvane \u2014 not done] (error) The Morvane installer is already running."});
  EXPECT_FALSE(platform::exists(local / "Programs"));
}

}  // namespace
}  // namespace setup_test
