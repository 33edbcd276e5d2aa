// The quiet install bringing an installation up to the channel's release, as
// a user runs it: the real morvane-setup --quiet against the local channel
// and the loopback site API. staged.log and nginx's request lines show which
// rung of the staging ladder settled each file.
#include <chrono>
#include <stdexcept>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/fs.hpp"
#include "setup/tests/disk_views.hpp"
#include "setup/tests/product_release.hpp"
#include "setup/tests/user_profile.hpp"
#include "testkit/site_server.hpp"

namespace setup_test {
namespace {

using namespace std::chrono_literals;
using testkit::SiteServer;
using testkit::no_content;
using ::testing::ElementsAre;
using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::MatchesRegex;
using ::testing::Pair;
using ::testing::StartsWith;
using ::testing::UnorderedElementsAreArray;

constexpr std::int64_t kIssued = 1'700'000'000'000;

const std::string kKept = "kept: the installed file is this release's";

// A number in a regular expression of GoogleTest's flavour (POSIX extended
// expressions here, its own simple ones on Windows).
#if GTEST_USES_POSIX_RE
const std::string kNumber = "[0-9]+";
#else
const std::string kNumber = "\\d+";
#endif
const std::string kXzDecision = "xz \u00b7 " + kNumber + " bytes moved for " + kNumber;

std::string report_body(const std::string& kind, const std::string& version) {
  return "{\"k\":\"" + kind + "\",\"v\":\"" + version + "\",\"o\":\"windows\"}";
}

// The one report the site received, head and body.
std::string only_report(SiteServer& site) {
  EXPECT_TRUE(site.wait_for_requests(1, 5s));
  const auto requests = site.requests();
  EXPECT_EQ(requests.size(), 1u);
  return requests.empty() ? std::string() : requests.back();
}

testkit::PublishedFile& file_named(testkit::Release& release, const std::string& name) {
  for (auto& file : release.files) {
    if (file.name == name) return file;
  }
  throw std::invalid_argument("no file " + name);
}

// Every file as a path and the same decision.
std::vector<StagedLine> every_file(const std::string& decision) {
  std::vector<StagedLine> lines;
  for (const auto& name : product_file_names()) lines.emplace_back(name, decision);
  return lines;
}

class QuietUpdateExe : public ::testing::Test {
 protected:
  UserProfile user;
  LocalChannel channel;
  testkit::Release first = quick_release("1.4.0", kIssued);

  void SetUp() override {
    channel.publish(first);
    const ExeRun installed = user.quiet_install();
    ASSERT_EQ(installed.exit_code, 0) << read_text(user.temp_log());
    ASSERT_EQ(user.differences_from(first), "");
  }
};

TEST_F(QuietUpdateExe, AnUpdateTakesEachFileFromTheCheapestRungThatFits) {
  // A fresh install has no installed copies: every file comes from its xz
  // artifact.
  for (const auto& [path, decision] : staged_lines(user.updates, "1.4.0")) {
    EXPECT_THAT(decision, MatchesRegex(kXzDecision)) << path;
  }
  EXPECT_EQ(staged_lines(user.updates, "1.4.0").size(), product_file_names().size());

  // The next release: libzun.dll is unchanged, libpelo.dll has no delta,
  // libqet.dll has neither a delta nor an artifact, the rest have deltas.
  testkit::Release second = quick_release("1.5.0", kIssued + 1000);
  second.earlier = {testkit::EarlierRelease{"1.4.0", first.files}};
  file_named(second, "libzun.dll").bytes = file_named(first, "libzun.dll").bytes;
  file_named(second, "libpelo.dll").deltas = false;
  file_named(second, "libqet.dll").deltas = false;
  file_named(second, "libqet.dll").xz_check = std::nullopt;
  channel.publish(second);
  const std::size_t before = channel.requests().size();
  SiteServer site(no_content(), configured_site_port());

  const ExeRun updated = user.counted_quiet_install();

  ASSERT_EQ(updated.exit_code, 0) << read_text(user.setup_log);
  EXPECT_EQ(updated.out + updated.err, "");
  EXPECT_EQ(user.differences_from(second), "");

  const auto lines = staged_lines(user.updates, "1.5.0");
  const std::string delta = "mvdiff1 from 1\\.4\\.0 \u00b7 " + kNumber + " bytes moved for " + kNumber;
  EXPECT_THAT(lines, ElementsAre(Pair("morvane.exe", MatchesRegex(delta)), Pair("libkesto.dll", MatchesRegex(delta)),
                                 Pair("libranel.dll", MatchesRegex(delta)), Pair("libvorda.dll", MatchesRegex(delta)),
                                 Pair("libzun.dll", kKept), Pair("libmorvane.dll", MatchesRegex(delta)),
                                 Pair("libpelo.dll", MatchesRegex(kXzDecision))));
  // What went over the wire: the manifest and its signature, and one thing
  // per fetched file (nginx logs them in the order it finished them).
  EXPECT_THAT(channel.requests_since(before),
              UnorderedElementsAreArray({
                  channel_get("release.json"),
                  channel_get("release.json.sig"),
                  channel_get("morvane.exe.from-1.4.0"),
                  channel_get("libkesto.dll.from-1.4.0"),
                  channel_get("libranel.dll.from-1.4.0"),
                  channel_get("libqet.dll"),
                  channel_get("libvorda.dll.from-1.4.0"),
                  channel_get("libmorvane.dll.from-1.4.0"),
                  channel_get("libpelo.dll.xz"),
              }));

  EXPECT_THAT(user.entry_value("DisplayVersion").value_or("(none)"), HasSubstr("REG_SZ    1.5.0"));
  EXPECT_TRUE(platform::is_regular_file(user.updates / "history" / "1.5.0" / "release.json"));
  EXPECT_FALSE(platform::exists(user.updates / "swap.journal"));
  const std::string report = only_report(site);
  EXPECT_THAT(report, StartsWith("POST /api/site/setup HTTP/1.1\r\n"));
  EXPECT_THAT(report, EndsWith("\r\n\r\n" + report_body("reinstalled", "1.5.0")));
}

TEST_F(QuietUpdateExe, TheSameReleaseAgainFetchesOnlyTheManifestAndKeepsEveryFile) {
  const auto product_before = user.product_tree();
  const std::size_t before = channel.requests().size();
  const std::size_t staged_before = staged_lines(user.updates, "1.4.0").size();
  SiteServer site(no_content(), configured_site_port());

  const ExeRun again = user.counted_quiet_install();

  ASSERT_EQ(again.exit_code, 0) << read_text(user.setup_log);
  EXPECT_EQ(again.out + again.err, "");
  EXPECT_THAT(channel.requests_since(before),
              UnorderedElementsAreArray({channel_get("release.json"), channel_get("release.json.sig")}));
  const auto lines = staged_lines(user.updates, "1.4.0");
  EXPECT_EQ(std::vector<StagedLine>(lines.begin() + static_cast<std::ptrdiff_t>(staged_before), lines.end()),
            every_file(kKept));
  EXPECT_EQ(user.product_tree(), product_before);
  // An installation that was already current is reported as reinstalled.
  EXPECT_THAT(only_report(site), EndsWith("\r\n\r\n" + report_body("reinstalled", "1.4.0")));
  EXPECT_THAT(log_texts(user.setup_log), IsEmpty());
}

TEST_F(QuietUpdateExe, ADamagedInstallationIsRepairedWithTheFilesItLacks) {
  // One library changed on disk, one gone, the desktop shortcut deleted.
  const platform::Path damaged = user.install / "libvorda.dll";
  platform::Bytes bytes = platform::read_file(damaged).value();
  bytes[bytes.size() / 2] ^= 0x5a;
  ASSERT_TRUE(platform::write_file(damaged, bytes));
  ASSERT_TRUE(platform::remove_file(user.install / "libzun.dll"));
  ASSERT_TRUE(platform::remove_file(user.desktop_link));
  const std::size_t before = channel.requests().size();
  const std::size_t staged_before = staged_lines(user.updates, "1.4.0").size();
  SiteServer site(no_content(), configured_site_port());

  const ExeRun repaired = user.counted_quiet_install();

  ASSERT_EQ(repaired.exit_code, 0) << read_text(user.setup_log);
  EXPECT_EQ(user.differences_from(first), "");
  EXPECT_TRUE(platform::is_regular_file(user.desktop_link));
  EXPECT_THAT(channel.requests_since(before),
              UnorderedElementsAreArray({channel_get("release.json"), channel_get("release.json.sig"),
                                         channel_get("libvorda.dll.xz"), channel_get("libzun.dll.xz")}));
  const auto lines = staged_lines(user.updates, "1.4.0");
  const std::string xz = kXzDecision;
  EXPECT_THAT(std::vector<StagedLine>(lines.begin() + static_cast<std::ptrdiff_t>(staged_before), lines.end()),
              ElementsAre(Pair("morvane.exe", kKept), Pair("libkesto.dll", kKept), Pair("libranel.dll", kKept),
                          Pair("libqet.dll", kKept), Pair("libvorda.dll", MatchesRegex(xz)),
                          Pair("libzun.dll", MatchesRegex(xz)), Pair("libmorvane.dll", kKept),
                          Pair("libpelo.dll", kKept)));
  EXPECT_THAT(only_report(site), EndsWith("\r\n\r\n" + report_body("reinstalled", "1.4.0")));
  EXPECT_THAT(log_texts(user.setup_log), IsEmpty());
}

}  // namespace
}  // namespace setup_test
