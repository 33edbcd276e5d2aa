// The install report against a loopback HTTPS site: what goes on the wire,
// how long the caller waits, and when nothing is sent at all.
#include <chrono>
#include <filesystem>
#include <iterator>
#include <optional>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "setup/install/install_report.hpp"
#include "setup/tests/scoped_env.hpp"
#include "testkit/loopback.hpp"
#include "testkit/site_server.hpp"

namespace {

using namespace std::chrono_literals;
using setup_test::ScopedEnv;
using testkit::SiteAnswer;
using testkit::SiteServer;

std::string expected_request(const std::string& body) {
  return "POST /api/site/setup HTTP/1.1\r\n"
         "Host: localhost\r\n"
         "Connection: close\r\n"
         "User-Agent: morvane-fetch morvane/0.1.0+untracked\r\n"
         "Content-Type: application/json\r\n"
         "Content-Length: " +
         std::to_string(body.size()) + "\r\n\r\n" + body;
}

// What a return before the report's wait of three seconds is checked
// against: the wait itself is shown to last at least this long (a site that
// never answers), so a report that came back before it did not wait.
constexpr auto before_the_wait = 2900ms;

// The time the caller spent in the report.
std::chrono::milliseconds timed_report(const std::string& url, const std::string& kind,
                                       const std::optional<std::string>& version) {
  const auto began = std::chrono::steady_clock::now();
  setup::send_install_report_to(url, kind, version);
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - began);
}

// The threads this process has now.
std::ptrdiff_t thread_count() {
  std::error_code ignored;
  return std::distance(std::filesystem::directory_iterator("/proc/self/task", ignored),
                       std::filesystem::directory_iterator());
}

// Waits until the process is back to `count` threads: a report thread that
// outlived its caller has ended (the site hung up on it), so it cannot be
// caught half way through its clean-up when the test process ends.
void wait_for_threads_to_end(std::ptrdiff_t count) {
  for (int i = 0; i < 200 && thread_count() > count; ++i) std::this_thread::sleep_for(25ms);
}

class InstallReport : public ::testing::Test {
 protected:
  ScopedEnv counted{"MORVANE_SETUP_UNCOUNTED", std::nullopt};
};

TEST_F(InstallReport, PostsEachKindToTheSetupPathBelowTheSiteApi) {
  for (const char* kind : {"installed", "reinstalled", "uninstalled"}) {
    SCOPED_TRACE(kind);
    SiteServer site(testkit::no_content());
    const auto took = timed_report(site.api_url(), kind, "1.2.3");
    ASSERT_TRUE(site.wait_for_requests(1, 5s));
    EXPECT_EQ(site.requests()[0],
              expected_request(std::string("{\"k\":\"") + kind + "\",\"v\":\"1.2.3\",\"o\":\"windows\"}"));
    EXPECT_LT(took, before_the_wait);  // it returned once the answer came
  }
}

TEST_F(InstallReport, CarriesOnlyTheFullStopsAndDigitsOfTheVersionAtMost32) {
  const struct {
    std::optional<std::string> version;
    std::string v;
  } cases[] = {
      {"1.2.3", "1.2.3"},
      {"1.2.3-beta+7", "1.2.37"},
      {std::string(40, '9'), std::string(32, '9')},
      {"v1\"}.2,\\3 é", "1.23"},
      {"x" + std::string(31, '1') + "y.22", std::string(31, '1') + "."},
      {std::nullopt, ""},
      {"", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.version.value_or("(none)"));
    SiteServer site(testkit::no_content());
    setup::send_install_report_to(site.api_url(), "installed", c.version);
    ASSERT_TRUE(site.wait_for_requests(1, 5s));
    EXPECT_EQ(site.requests()[0], expected_request("{\"k\":\"installed\",\"v\":\"" + c.v + "\",\"o\":\"windows\"}"));
  }
}

TEST_F(InstallReport, WaitsAtMostThreeSecondsForASiteThatNeverAnswers) {
  const auto threads_before = thread_count();
  {
    SiteServer site(SiteAnswer{.never = true});
    const auto took = timed_report(site.api_url(), "installed", "1.2.3");
    EXPECT_GE(took, before_the_wait);
    EXPECT_LT(took, 20s);  // the site would hold it for good
    EXPECT_EQ(site.requests().size(), 1u);
  }
  wait_for_threads_to_end(threads_before);
}

TEST_F(InstallReport, ReturnsWhenASlowSiteAnswers) {
  SiteServer site(SiteAnswer{.bytes = testkit::no_content().bytes, .delay = 1000ms});
  const auto took = timed_report(site.api_url(), "installed", "1.2.3");
  EXPECT_GE(took, 950ms);
  EXPECT_LT(took, before_the_wait);
}

TEST_F(InstallReport, AnyAnswerIsDroppedAndARedirectIsNotFollowed) {
  const std::string answers[] = {
      "HTTP/1.1 500 Internal Server Error\r\nContent-Length: 5\r\nConnection: close\r\n\r\noops!",
      "HTTP/1.1 302 Found\r\nLocation: https://localhost:1/elsewhere\r\nContent-Length: 0\r\nConnection: close\r\n\r\n",
      "not HTTP at all",
  };
  for (const auto& answer : answers) {
    SCOPED_TRACE(answer);
    SiteServer site(SiteAnswer{.bytes = answer});
    const auto took = timed_report(site.api_url(), "reinstalled", "2.0.0");
    EXPECT_LT(took, before_the_wait);
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(site.connections(), 1);
    EXPECT_EQ(site.requests().size(), 1u);
  }
}

TEST_F(InstallReport, AnAnswerWithoutEndIsLeftAtItsHead) {
  const auto threads_before = thread_count();
  {
    SiteServer site(SiteAnswer{
        .bytes = "HTTP/1.1 200 OK\r\nContent-Length: 1000000000000000\r\nConnection: close\r\n\r\n",
        .endless = true});
    const auto took = timed_report(site.api_url(), "installed", "1.2.3");
    EXPECT_LT(took, before_the_wait);
    // The client hung up instead of reading on.
    for (int i = 0; i < 100 && !site.endless_answer_ended(); ++i) std::this_thread::sleep_for(50ms);
    EXPECT_TRUE(site.endless_answer_ended());
  }
  wait_for_threads_to_end(threads_before);
}

TEST_F(InstallReport, NoSiteToReachOrNoUsableUrlEndsAtOnce) {
  const std::string urls[] = {
      "https://localhost:" + std::to_string(testkit::free_loopback_port()) + "/api/site",
      "not a url",
      "",
  };
  for (const auto& url : urls) {
    SCOPED_TRACE(url);
    EXPECT_LT(timed_report(url, "installed", "1.2.3"), before_the_wait);
  }
}

TEST_F(InstallReport, UncountedOrAnUnknownKindSendsNothingAndDoesNotWait) {
  SiteServer site(testkit::no_content());
  {
    for (const char* value : {"", "1", "no"}) {
      SCOPED_TRACE(value);
      ScopedEnv uncounted("MORVANE_SETUP_UNCOUNTED", value);
      EXPECT_LT(timed_report(site.api_url(), "installed", "1.2.3"), before_the_wait);
    }
  }
  for (const char* kind : {"Installed", "", "removed", "installed "}) {
    SCOPED_TRACE(kind);
    EXPECT_LT(timed_report(site.api_url(), kind, "1.2.3"), before_the_wait);
  }
  std::this_thread::sleep_for(500ms);
  EXPECT_EQ(site.connections(), 0);
}

}  // namespace
