// The install transaction's failures before anything is staged: the product
// running, the release host's URL, the install folder, the swap repair, the
// release check and the installer's own gates. Each row of the road's
// failure table with its sentence, its setup.log line and what the failed
// run leaves on disk.
#include <ostream>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/fs.hpp"
#include "setup/common/install_paths.hpp"
#include "setup/tests/install_fixture.hpp"
#include "setup/tests/running_product.hpp"
#include "testkit/loopback.hpp"
#include "testkit/release/scripted_release_host.hpp"

namespace setup_test {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::MatchesRegex;
using ::testing::StartsWith;

constexpr std::int64_t kIssued = 1'700'000'000'000;

const std::string kNotProven =
    "The download did not prove it is Morvane's own release, so nothing was installed. Try again later.";
const std::string kUnreachable =
    "Morvane's download server could not be reached. Check this computer's connection and run the installer again.";
const std::string kCouldNotInstall = "Morvane could not be installed. Run the installer again.";

class InstallRefusalTest : public InstallTest {
 protected:
  platform::Path temp_log() const { return setup::temp_log_path(install_dir); }

  // A first install that failed: no install folder, no status after
  // Starting, and the run's one setup.log line kept at temp_log_path.
  void expect_first_install_gone(const std::string& log_line) {
    EXPECT_FALSE(platform::exists(install_dir));
    EXPECT_THAT(log_texts(temp_log()), ElementsAre(log_line));
    EXPECT_THAT(steps, IsEmpty());
  }
};

TEST_F(InstallRefusalTest, WhileTheProductRunsNothingOnDiskChanges) {
  publish(product_release("1.4.0", kIssued));
  ASSERT_TRUE(install());
  ASSERT_TRUE(platform::write_file(temp_log(), platform::to_bytes("an earlier run's log\n")));
  const auto install_before = tree_of(install_dir);
  statuses.clear();
  RunningProduct product(runtime, sandbox.path());

  const auto result = install();

  ASSERT_FALSE(result);
  EXPECT_EQ(result.error(), "Morvane is open. Close it and run the installer again.");
  EXPECT_THAT(statuses, IsEmpty());
  EXPECT_EQ(tree_of(install_dir), install_before);
  EXPECT_EQ(read_text(temp_log()), "an earlier run's log\n");
}

TEST_F(InstallRefusalTest, ABaseUrlThatDoesNotParseEndsTheRunBeforeItTouchesAnything) {
  ASSERT_TRUE(platform::write_file(temp_log(), platform::to_bytes("an earlier run's log\n")));

  const auto result = install_from("ftp://localhost:47443");

  ASSERT_FALSE(result);
  EXPECT_THAT(result.error(), StartsWith("bad server URL \"ftp://localhost:47443\": "));
  EXPECT_THAT(result.error(), HasSubstr("(expected http[s]://host[:port][/prefix])"));
  EXPECT_FALSE(platform::exists(install_dir));
  EXPECT_EQ(read_text(temp_log()), "an earlier run's log\n");
  EXPECT_THAT(statuses, IsEmpty());
}

TEST_F(InstallRefusalTest, AnInstallFolderThatCannotBeMadeIsNamedWithTheSystemsReason) {
  const platform::Path file = sandbox / "local" / "Programs-file";
  ASSERT_TRUE(platform::write_file(file, platform::to_bytes("not a folder")));
  install_dir = file / "MORVANE";

  const auto result = install_from("https://localhost:1");

  ASSERT_FALSE(result);
  EXPECT_EQ(result.error(), "The folder " + install_dir.string() +
                                " could not be made (Not a directory (os error 20)). Run the installer again.");
  EXPECT_THAT(statuses, IsEmpty());
  EXPECT_FALSE(platform::exists(setup::temp_log_path(install_dir)));
  EXPECT_EQ(read_text(file), "not a folder");
}

TEST_F(InstallRefusalTest, AJournalThatCannotBeReadFailsTheRepairAndKeepsTheInstallation) {
  publish(product_release("1.4.0", kIssued));
  ASSERT_TRUE(install());
  ASSERT_TRUE(platform::write_file(updates() / "swap.journal", platform::to_bytes("{ not a journal")));
  const auto before = tree_of(install_dir);
  statuses.clear();
  steps.clear();

  const auto result = install();

  ASSERT_FALSE(result);
  EXPECT_EQ(result.error(), kCouldNotInstall);
  EXPECT_THAT(statuses, IsEmpty());
  // The folder stays as it was, with one more setup.log line that names the
  // journal; the journal stays for a later run.
  const auto lines = log_texts(setup_log());
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_THAT(lines[0], HasSubstr("swap.journal"));
  auto after = tree_of(install_dir);
  after.erase("updates/setup.log");
  EXPECT_EQ(after, before);
  EXPECT_THAT(steps, IsEmpty());
}

TEST_F(InstallRefusalTest, AnUnreachableHostFailsTheCheck) {
  const std::uint16_t closed = testkit::free_loopback_port();

  const auto result = install_from("https://localhost:" + std::to_string(closed));

  ASSERT_FALSE(result);
  EXPECT_EQ(result.error(), kUnreachable);
  EXPECT_EQ(statuses, std::vector<setup::SetupStatus>{setup::SetupStatus{}});
  EXPECT_FALSE(platform::exists(install_dir));
  const auto lines = log_texts(temp_log());
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_THAT(lines[0], StartsWith("cannot reach the release channel"));
}

// Channels that a check must refuse, each with a word of the refusal that
// setup.log keeps.
struct Untrusted {
  std::string name;
  std::function<void(testkit::Faults&)> fault;
  std::string logged;
  friend void PrintTo(const Untrusted& value, std::ostream* out) { *out << value.name; }
};

class UntrustedReleaseTest : public InstallRefusalTest, public ::testing::WithParamInterface<Untrusted> {};

TEST_P(UntrustedReleaseTest, IsRefusedAndTheFirstInstallLeavesNoFolder) {
  testkit::Release release = product_release("1.4.0", kIssued);
  GetParam().fault(release.faults);
  publish(release);

  const auto result = install();

  ASSERT_FALSE(result);
  EXPECT_EQ(result.error(), kNotProven);
  EXPECT_FALSE(platform::exists(install_dir));
  const auto lines = log_texts(temp_log());
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_THAT(lines[0], HasSubstr(GetParam().logged));
}

INSTANTIATE_TEST_SUITE_P(
    Channels, UntrustedReleaseTest,
    ::testing::Values(
        Untrusted{"NoSignature", [](testkit::Faults& f) { f.omit_signature = true; }, "arrived with no signature"},
        Untrusted{"SignedOtherBytes", [](testkit::Faults& f) { f.sign_other_bytes = platform::to_bytes("other"); },
                  "SIGNATURE VERIFICATION FAILURE"},
        Untrusted{"OtherProduct",
                  [](testkit::Faults& f) { f.edit_manifest = [](update::ReleaseManifest& m) { m.product = "other"; }; },
                  "is for other on channel stable-intl"}),
    [](const auto& info) { return info.param.name; });

TEST_F(InstallRefusalTest, AnOlderManifestThanOneAlreadyVerifiedIsAReplay) {
  publish(product_release("1.4.0", kIssued + 1000));
  ASSERT_TRUE(install());
  publish(product_release("1.3.0", kIssued));
  const auto before = tree_of(install_dir);

  const auto result = install();

  ASSERT_FALSE(result);
  EXPECT_EQ(result.error(), kNotProven);
  // An existing installation keeps its folder and gains one setup.log line.
  const auto lines = log_texts(setup_log());
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_THAT(lines[0], HasSubstr("this is a replay and it is refused"));
  EXPECT_EQ(platform::read_file(exe()).value(), before.at("morvane.exe"));
}

TEST_F(InstallRefusalTest, AnAnswerWithoutTheManifestIsNotASentRelease) {
  testkit::ScriptedReleaseHost scripted(channel_root);
  scripted.answer(testkit::channel_target("release.json"), testkit::reply::not_modified());

  const auto result = install_from(scripted.base_url());

  ASSERT_FALSE(result);
  EXPECT_EQ(result.error(), "Morvane's download server did not send the release. Run the installer again.");
  expect_first_install_gone("the check answered Unchanged to a question asked with no validator");
}

TEST_F(InstallRefusalTest, AReleaseOlderThanThisInstallerIsRefusedAfterItsCheckRaisedTheMark) {
  publish(product_release("0.1.381", kIssued));

  const auto result = install();

  ASSERT_FALSE(result);
  EXPECT_EQ(result.error(),
            "Morvane's server offers 0.1.381, older than this installer (0.1.382), so nothing was installed. "
            "Try again later.");
  expect_first_install_gone("the server offers 0.1.381, below this installer's 0.1.382");
}

TEST_F(InstallRefusalTest, TheOldestReleaseThisInstallerTakesIsItsOwnVersion) {
  publish(product_release("0.1.382", kIssued));

  const auto result = install();

  ASSERT_TRUE(result) << result.error();
  EXPECT_EQ(result->version, "0.1.382");
}

TEST_F(InstallRefusalTest, AReleaseMissingTwoRequiredFilesNamesBothInOrder) {
  testkit::Release release = product_release("1.4.0", kIssued);
  std::erase_if(release.files, [](const auto& f) { return f.name == "libpelo.dll" || f.name == "libqet.dll"; });
  publish(release);

  const auto result = install();

  ASSERT_FALSE(result);
  EXPECT_EQ(result.error(),
            "The release on Morvane's server is incomplete (libqet.dll, libpelo.dll is missing), so nothing was "
            "installed. Try again later.");
  expect_first_install_gone("the verified manifest for 1.4.0 does not list libqet.dll, libpelo.dll");
}

TEST_F(InstallRefusalTest, TheNextRunDeletesTheLogCopyOfAFailedFirstInstall) {
  publish(product_release("0.1.0", kIssued));
  ASSERT_FALSE(install());
  ASSERT_TRUE(platform::is_regular_file(temp_log()));
  publish(product_release("1.4.0", kIssued + 1000));

  const auto result = install();

  ASSERT_TRUE(result) << result.error();
  EXPECT_FALSE(platform::exists(temp_log()));
}

}  // namespace
}  // namespace setup_test
