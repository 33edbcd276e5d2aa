// Every refusal that a user of morvane-setup --quiet can meet, as the user
// meets it: exit code 1, nothing on the terminal, and the reason in
// setup.log. Each runs over an existing installation, which stays as it was,
// and (where it can happen there) as a first install, which leaves no
// install folder and its log in the temporary folder.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "fetch/digest/sha256.hpp"
#include "platform/fs.hpp"
#include "setup/tests/disk_views.hpp"
#include "setup/tests/running_product.hpp"
#include "setup/tests/user_profile.hpp"
#include "testkit/release/signing_key.hpp"

namespace setup_test {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

constexpr std::int64_t kIssued = 1'700'000'000'000;

const std::string kChannelUrl = "https://localhost:47443/releases/morvane/stable-intl/release.json";

// What one case works on.
struct Situation {
  UserProfile& user;
  LocalChannel& channel;
  // Whatever must outlive the run (a running product).
  std::shared_ptr<void> held;
};

struct Refusal {
  std::string name;
  // Makes the channel or the computer refuse the next run.
  std::function<void(Situation&)> prepare;
  // What that run appends to setup.log.
  std::vector<std::string> logged;
  // Whether it can happen to a first install (a replay cannot: the first
  // install has accepted nothing yet).
  bool first_install = true;
  // Whether the run asks the release host at all.
  bool asks = true;
};

testkit::Release release_with(const std::string& version, std::int64_t issued,
                              const std::function<void(testkit::Release&)>& change = {}) {
  testkit::Release release = quick_release(version, issued);
  if (change) change(release);
  return release;
}

// The SHA-256 of 1.5.0's libvorda.dll, or of the copy whose last byte the
// publisher flips.
std::string libvorda_digest(bool corrupted) {
  for (auto& file : product_files("1.5.0")) {
    if (file.name != "libvorda.dll") continue;
    if (corrupted) file.bytes.back() ^= 0x01;
    return fetch::sha256_hex(file.bytes);
  }
  return "(no libvorda.dll)";
}

std::vector<Refusal> refusals() {
  return {
      {
          .name = "the product is running",
          .prepare =
              [](Situation& s) {
                s.channel.publish(quick_release("1.5.0", kIssued + 5000));
                if (platform::is_regular_file(s.user.install / "morvane.exe")) {
                  s.held = std::make_shared<RunningInstalledProduct>(s.user);
                } else {
                  s.held = std::make_shared<RunningProduct>(s.user.run_dir, s.user.root.path());
                }
              },
          .logged = {},
          .asks = false,
      },
      {
          .name = "nothing listens on the release host's port",
          .prepare = [](Situation& s) { s.channel.stop(); },
          .logged = {"cannot reach the release channel for /releases/morvane/stable-intl/release.json: cannot reach "
                     "the training-data server at https://localhost:47443: could not reach localhost:47443 directly: "
                     "Connection refused (os error 111)"},
      },
      {
          .name = "the signature is by another key",
          .prepare =
              [](Situation& s) {
                s.channel.publish(release_with("1.5.0", kIssued + 5000, [](testkit::Release& r) {
                  r.faults.signing_seed = testkit::Ed25519Seed{7, 7, 7};
                }));
              },
          .logged = {"SIGNATURE VERIFICATION FAILURE for " + kChannelUrl +
                     ": the signature is well formed but no key pinned in this build accepts it over these bytes. "
                     "The release was NOT staged. A bad signature is a finding about the channel, not a transient "
                     "\u2014 nothing will be retried automatically."},
      },
      {
          .name = "an older manifest after a newer one was accepted",
          .prepare = [](Situation& s) { s.channel.publish(quick_release("1.5.0", kIssued - 1)); },
          .logged = {"the release manifest at " + kChannelUrl +
                     " was issued at 1699999999999 ms, older than the newest this client has ever verified "
                     "(1700000000000 ms). A signature proves origin, not currency; this is a replay and it is "
                     "refused."},
          .first_install = false,
      },
      {
          .name = "a release older than this installer",
          .prepare = [](Situation& s) { s.channel.publish(quick_release("0.1.381", kIssued + 5000)); },
          .logged = {"the server offers 0.1.381, below this installer's 0.1.382"},
      },
      {
          .name = "a release without two of the required files",
          .prepare =
              [](Situation& s) {
                s.channel.publish(release_with("1.5.0", kIssued + 5000, [](testkit::Release& r) {
                  std::erase_if(r.files,
                                [](const auto& f) { return f.name == "libpelo.dll" || f.name == "libqet.dll"; });
                }));
              },
          .logged = {"the verified manifest for 1.5.0 does not list libqet.dll, libpelo.dll"},
      },
      {
          .name = "a file that is not the one the manifest signs",
          .prepare =
              [](Situation& s) {
                s.channel.publish(release_with("1.5.0", kIssued + 5000, [](testkit::Release& r) {
                  r.earlier = {testkit::EarlierRelease{"1.4.0", product_files("1.4.0")}};
                  r.faults.corrupt = {"libvorda.dll", testkit::artifact_name("libvorda.dll"),
                                      testkit::delta_name("libvorda.dll", "1.4.0")};
                }));
              },
          // Its delta and its artifact are refused on the way (staged.log
          // says so); the plain file ends staging.
          .logged = {"libvorda.dll does not match the verified manifest (sha256 expected " + libvorda_digest(false) +
                     ", got " + libvorda_digest(true) + ") \u2014 it was NOT installed"},
      },
  };
}

TEST(QuietRefusalsExe, AnExistingInstallationStaysAsItWasWithOneMoreLineInSetupLog) {
  for (const Refusal& refusal : refusals()) {
    SCOPED_TRACE(refusal.name);
    UserProfile user;
    LocalChannel channel;
    channel.publish(quick_release("1.4.0", kIssued));
    ASSERT_EQ(user.quiet_install().exit_code, 0) << read_text(user.temp_log());
    const auto installed = user.product_tree();
    const auto whole_before = tree_of(user.install);
    const auto log_before = log_texts(user.setup_log);
    Situation situation{user, channel, nullptr};
    refusal.prepare(situation);
    const std::size_t asked_before = refusal.asks ? 0 : channel.requests().size();

    const ExeRun refused = user.quiet_install();

    EXPECT_EQ(refused.exit_code, 1);
    EXPECT_EQ(refused.out + refused.err, "");
    auto log = log_texts(user.setup_log);
    log.erase(log.begin(), log.begin() + static_cast<std::ptrdiff_t>(std::min(log.size(), log_before.size())));
    EXPECT_THAT(log, ElementsAreArray(refusal.logged));
    EXPECT_EQ(user.product_tree(), installed);
    EXPECT_FALSE(platform::exists(user.updates / "pending" / "1.5.0"));
    if (!refusal.asks) {
      // Refused before anything: not a byte changed, the updater's records
      // included, and nothing asked.
      EXPECT_EQ(tree_of(user.install), whole_before);
      EXPECT_THAT(channel.requests_since(asked_before), IsEmpty());
    }
  }
}

TEST(QuietRefusalsExe, AFirstInstallLeavesNoFolderAndItsLogInTheTemporaryFolder) {
  for (const Refusal& refusal : refusals()) {
    if (!refusal.first_install) continue;
    SCOPED_TRACE(refusal.name);
    UserProfile user;
    LocalChannel channel;
    Situation situation{user, channel, nullptr};
    refusal.prepare(situation);

    const ExeRun refused = user.quiet_install();

    EXPECT_EQ(refused.exit_code, 1);
    EXPECT_EQ(refused.out + refused.err, "");
    EXPECT_FALSE(platform::exists(user.install));
    if (refusal.logged.empty()) {
      EXPECT_FALSE(platform::exists(user.temp_log()));
    } else {
      EXPECT_THAT(log_texts(user.temp_log()), ElementsAreArray(refusal.logged));
    }
    if (!refusal.asks) {
      EXPECT_THAT(sorted_entries(user.local), IsEmpty());
      EXPECT_THAT(channel.requests(), IsEmpty());
    }
  }
}

TEST(QuietRefusalsExe, TheLogOfAFailedFirstInstallStaysUntilTheNextRunThatGetsGoing) {
  UserProfile user;
  LocalChannel channel;
  channel.publish(quick_release("0.1.300", kIssued));
  ASSERT_EQ(user.quiet_install().exit_code, 1);
  ASSERT_THAT(log_texts(user.temp_log()), ElementsAre("the server offers 0.1.300, below this installer's 0.1.382"));
  // The temporary folder is the profile's own.
  EXPECT_EQ(user.temp_log().parent_path(), user.tmp);

  // A run refused because the product runs touches nothing, not even that.
  {
    RunningProduct product(user.run_dir, user.root.path());
    EXPECT_EQ(user.quiet_install().exit_code, 1);
    EXPECT_THAT(log_texts(user.temp_log()), ElementsAre("the server offers 0.1.300, below this installer's 0.1.382"));
    EXPECT_FALSE(platform::exists(user.install));
  }

  // The next run deletes it before anything else; this one installs.
  channel.publish(quick_release("1.4.0", kIssued + 1000));
  const ExeRun installed = user.quiet_install();
  EXPECT_EQ(installed.exit_code, 0) << read_text(user.temp_log());
  EXPECT_FALSE(platform::exists(user.temp_log()));
  EXPECT_THAT(sorted_entries(user.tmp), IsEmpty());
}

// A rename that the system refuses: a leftover install folder without the
// product's executable, so the run installs afresh, and in it a folder (with
// a file in it) where the last library must go. rename(2) will not put a
// file over a folder.
TEST(QuietRefusalsExe, ARenameThatFailsTakesBackWhatTheFreshInstallMoved) {
  UserProfile user;
  LocalChannel channel;
  const platform::Path obstacle = user.install / "libpelo.dll";
  ASSERT_TRUE(platform::create_dirs(obstacle));
  ASSERT_TRUE(platform::write_file(obstacle / "notes.txt", platform::byte_view("the user's")));
  channel.publish(quick_release("1.4.0", kIssued));

  const ExeRun refused = user.quiet_install();

  EXPECT_EQ(refused.exit_code, 1);
  EXPECT_EQ(refused.out + refused.err, "");
  const platform::Path staged = user.updates / "pending" / "1.4.0" / "libpelo.dll";
  EXPECT_THAT(log_texts(user.setup_log),
              ElementsAre("moving " + staged.string() + " to " + obstacle.string() + ": Is a directory (os error 21)"));
  // The folder was there before, so it stays: with the folder in the way,
  // the updates folder and nothing that the run moved in.
  EXPECT_THAT(sorted_entries(user.install), ElementsAre("libpelo.dll", "updates"));
  EXPECT_EQ(read_text(obstacle / "notes.txt"), "the user's");
  EXPECT_FALSE(platform::exists(user.updates / "pending" / "1.4.0"));
  EXPECT_FALSE(platform::exists(user.temp_log()));
  EXPECT_FALSE(user.entry_value("DisplayVersion"));

  // Once the folder is out of the way the same release installs.
  ASSERT_TRUE(platform::remove_dir_all(obstacle));
  const ExeRun installed = user.quiet_install();
  EXPECT_EQ(installed.exit_code, 0) << read_text(user.setup_log);
  EXPECT_EQ(user.differences_from(quick_release("1.4.0", kIssued)), "");
}

}  // namespace
}  // namespace setup_test
