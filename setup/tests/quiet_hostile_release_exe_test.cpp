// What a signed manifest or a hostile release host may try against the real
// morvane-setup --quiet, and what becomes of it: a version that climbs out of
// the updates folder, names that the updater and installer write themselves,
// and a manifest or a signature that never ends. Each is refused before
// anything is staged, and the user's own folders stay as they were.
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/fs.hpp"
#include "setup/tests/disk_views.hpp"
#include "setup/tests/user_profile.hpp"

namespace setup_test {
namespace {

using namespace std::chrono_literals;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr std::int64_t kIssued = 1'700'000'000'000;

const std::string kChannelUrl = "https://localhost:47443/releases/morvane/stable-intl/release.json";

// refusals.log's lines with the time in front of each taken away.
std::vector<std::string> refusal_texts(const UserProfile& user) {
  std::vector<std::string> texts;
  std::string rest = read_text(user.updates / "refusals.log");
  while (!rest.empty()) {
    const auto end = rest.find('\n');
    const std::string line = rest.substr(0, end);
    rest = end == std::string::npos ? std::string() : rest.substr(end + 1);
    const auto bar = line.find(" | ");
    texts.push_back(bar == std::string::npos ? line : line.substr(bar + 3));
  }
  return texts;
}

// The updates folder's records, without the two logs a refusal adds to.
std::map<std::string, platform::Bytes> records_of(const UserProfile& user) {
  auto records = tree_of(user.updates);
  records.erase("setup.log");
  records.erase("refusals.log");
  return records;
}

std::string unusable(const std::string& reason) {
  return "the release manifest at " + kChannelUrl + " verified but is not usable: " + reason;
}

// The manifest's version, signed as it stands: five steps up from
// updates/pending/<version> is LOCALAPPDATA.
const std::string kClimbing = "1.5.0+/../../../../../victim";

testkit::Release climbing_release() {
  testkit::Release release = quick_release("1.5.0", kIssued + 5000);
  release.faults.edit_manifest = [](update::ReleaseManifest& manifest) {
    manifest.version = kClimbing;
    manifest.build = kClimbing + "+test";
  };
  return release;
}

const std::string kClimbingRefusal =
    unusable("version " + kClimbing +
             " is not one plain folder name; the updater keeps each release in a folder of that name and a manifest "
             "may not widen its write set");

// A folder of the user's where the climbing version leads, with a file in it.
platform::Path make_victim(const UserProfile& user) {
  const platform::Path victim = user.local / "victim";
  EXPECT_TRUE(platform::create_dirs(victim));
  EXPECT_TRUE(platform::write_file(victim / "notes.txt", platform::byte_view("the user's")));
  return victim;
}

void expect_untouched(const platform::Path& victim) {
  EXPECT_THAT(sorted_entries(victim), ElementsAre("notes.txt"));
  EXPECT_EQ(read_text(victim / "notes.txt"), "the user's");
}

TEST(QuietHostileReleaseExe, AVersionThatClimbsOutOfAnInstallationReachesNothing) {
  UserProfile user;
  LocalChannel channel;
  const platform::Path victim = make_victim(user);
  channel.publish(quick_release("1.4.0", kIssued));
  ASSERT_EQ(user.quiet_install().exit_code, 0) << read_text(user.temp_log());
  const auto installed = user.product_tree();
  const auto records = records_of(user);
  channel.publish(climbing_release());

  const ExeRun refused = user.quiet_install();

  EXPECT_EQ(refused.exit_code, 1);
  EXPECT_EQ(refused.out + refused.err, "");
  expect_untouched(victim);
  EXPECT_THAT(refusal_texts(user), ElementsAre(kChannelUrl + " | claimed_version=" + kClimbing + " | " +
                                               kClimbingRefusal));
  EXPECT_THAT(log_texts(user.setup_log), ElementsAre(kClimbingRefusal));
  EXPECT_EQ(user.product_tree(), installed);
  EXPECT_EQ(records_of(user), records);
  EXPECT_THAT(sorted_entries(user.updates / "pending"), IsEmpty());
}

TEST(QuietHostileReleaseExe, AVersionThatClimbsOutOfAFirstInstallReachesNothing) {
  UserProfile user;
  LocalChannel channel;
  const platform::Path victim = make_victim(user);
  channel.publish(climbing_release());

  const ExeRun refused = user.quiet_install();

  EXPECT_EQ(refused.exit_code, 1);
  EXPECT_EQ(refused.out + refused.err, "");
  expect_untouched(victim);
  EXPECT_FALSE(platform::exists(user.install));
  EXPECT_THAT(log_texts(user.temp_log()), ElementsAre(kClimbingRefusal));
}

// A release with one more file whose name is the updater's or the
// installer's own, or another file's once Windows compares it: refused as
// it stands, with nothing staged, moved or recorded.
TEST(QuietHostileReleaseExe, AManifestThatClaimsTheUpdatersNamesIsRefused) {
  struct Case {
    std::string name;
    std::string reason;
  };
  const auto own = [](const std::string& name) {
    return "the name " + name + " is one the updater and installer write themselves, so a manifest may not claim it";
  };
  const std::vector<Case> cases = {
      {"updates", own("updates")},
      {"uninstall.exe", own("uninstall.exe")},
      {"libqet.dll.old", own("libqet.dll.old")},
      {"libqet.part", own("libqet.part")},
      {"NUL.dll", "the name NUL.dll is a Windows device name, so no file can be written under it"},
      {"LIBQET.DLL", "it lists libqet.dll and LIBQET.DLL, one file name where case and trailing points do not count, "
                     "so which bytes it means is undecided"},
  };
  UserProfile user;
  LocalChannel channel;
  channel.publish(quick_release("1.4.0", kIssued));
  ASSERT_EQ(user.quiet_install().exit_code, 0) << read_text(user.temp_log());
  const auto installed = user.product_tree();
  const auto records = records_of(user);

  std::vector<std::string> refusals;
  std::vector<std::string> logged;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testkit::Release release = quick_release("1.5.0", kIssued + 5000);
    release.files.push_back(testkit::PublishedFile{.name = c.name, .bytes = platform::to_bytes("not the updater's")});
    channel.publish(release);

    const ExeRun refused = user.quiet_install();

    EXPECT_EQ(refused.exit_code, 1);
    EXPECT_EQ(refused.out + refused.err, "");
    refusals.push_back(kChannelUrl + " | claimed_version=1.5.0 | " + unusable(c.reason));
    logged.push_back(unusable(c.reason));
    EXPECT_EQ(refusal_texts(user), refusals);
    EXPECT_EQ(log_texts(user.setup_log), logged);
    EXPECT_EQ(user.product_tree(), installed);
    EXPECT_EQ(records_of(user), records);
  }

  // The same release without the extra file installs.
  channel.publish(quick_release("1.5.0", kIssued + 5000));
  const ExeRun updated = user.quiet_install();
  EXPECT_EQ(updated.exit_code, 0) << read_text(user.setup_log);
  EXPECT_EQ(user.differences_from(quick_release("1.5.0", kIssued + 5000)), "");
}

// nginx serves a published file grown to a terabyte (sparse: nothing of it
// is on the disk), as a host that never stops sending would: the run ends
// at once, holding no more than any run does.
TEST(QuietHostileReleaseExe, AManifestOrSignatureWithoutEndIsNotRead) {
  struct Case {
    std::string file;
    std::vector<std::string> refusals;
    std::string logged;
  };
  const std::string signature_refusal =
      "the signature for " + kChannelUrl +
      " is not an Ed25519 signature (1000000000000 bytes, expected 64) \u2014 nothing was verified and nothing was "
      "staged";
  const std::vector<Case> cases = {
      {"release.json.sig", {kChannelUrl + " | claimed_version=1.5.0 | " + signature_refusal}, signature_refusal},
      {"release.json",
       {},
       "cannot reach the release channel for /releases/morvane/stable-intl/release.json: malformed HTTP response "
       "from the training-data server for /releases/morvane/stable-intl/release.json: the answer for " +
           kChannelUrl +
           " announces 1000000000000 bytes, more than the ceiling of 67108864 bytes for a release manifest, so the "
           "request ended before its body"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    UserProfile user;
    LocalChannel channel;
    channel.publish(quick_release("1.4.0", kIssued));
    const ExeRun first = user.quiet_install();
    ASSERT_EQ(first.exit_code, 0) << read_text(user.temp_log());
    const auto installed = user.product_tree();
    channel.publish(quick_release("1.5.0", kIssued + 5000));
    std::filesystem::resize_file(channel.published_file(c.file), 1'000'000'000'000);

    const ExeRun refused = user.quiet_install();

    EXPECT_EQ(refused.exit_code, 1);
    EXPECT_EQ(refused.out + refused.err, "");
    EXPECT_EQ(refusal_texts(user), c.refusals);
    EXPECT_THAT(log_texts(user.setup_log), ElementsAre(c.logged));
    EXPECT_EQ(user.product_tree(), installed);
    // No more time or memory than the install before it took (reading the
    // terabyte would take many minutes).
    EXPECT_LT(refused.elapsed, first.elapsed + 15s);
    EXPECT_LT(refused.peak_memory_bytes, first.peak_memory_bytes + (std::uint64_t{64} << 20));
  }
}

}  // namespace
}  // namespace setup_test
