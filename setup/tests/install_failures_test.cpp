// The install transaction's failures once staging has begun: staging itself
// (a cancel included), the second verification, the swap into an existing
// installation, the fresh install's renames, and the steps after the
// release is in place.
#include <ostream>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/fs.hpp"
#include "setup/common/install_paths.hpp"
#include "setup/tests/install_fixture.hpp"
#include "testkit/file_fault_interpose.hpp"

namespace setup_test {
namespace {

using setup::SetupPhase;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::StartsWith;
namespace file_faults = testkit::file_faults;

constexpr std::int64_t kIssued = 1'700'000'000'000;

const std::string kNotProven =
    "The download did not prove it is Morvane's own release, so nothing was installed. Try again later.";
const std::string kNotOwnFile =
    "A downloaded file was not Morvane's own, so nothing was installed. Run the installer again.";
const std::string kCouldNotInstall = "Morvane could not be installed. Run the installer again.";

class InstallFailureTest : public InstallTest {
 protected:
  platform::Path temp_log() const { return setup::temp_log_path(install_dir); }

  // Runs `then` on the run's thread when the status of `phase` arrives.
  void at_phase(SetupPhase phase, std::function<void()> then) {
    on_status = [phase, then = std::move(then), done = false](const setup::SetupStatus& status) mutable {
      if (status.phase == phase && !done) {
        done = true;
        then();
      }
    };
  }

  // The release's files, for an update that keeps `kept_exe` from an
  // earlier release.
  static testkit::Release with_exe_of(testkit::Release release, const testkit::Release& earlier) {
    release.files[0].bytes = earlier.files[0].bytes;
    return release;
  }
};

TEST_F(InstallFailureTest, AFileThatDoesNotMatchItsSignedDigestFailsStaging) {
  testkit::Release release = product_release("1.4.0", kIssued);
  for (auto& file : release.files) {
    if (file.name == "libqet.dll") file.xz_check.reset();
  }
  release.faults.corrupt = {"libqet.dll"};
  publish(release);

  const auto result = install();

  ASSERT_FALSE(result);
  EXPECT_EQ(result.error(), kNotOwnFile);
  EXPECT_FALSE(platform::exists(install_dir));
  const auto lines = log_texts(temp_log());
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_THAT(lines[0], HasSubstr("libqet.dll does not match the verified manifest"));
  EXPECT_EQ(statuses.back().phase, SetupPhase::Downloading);
}

TEST_F(InstallFailureTest, ACancelDuringTheDownloadStopsTheInstall) {
  publish(product_release("1.4.0", kIssued));
  at_phase(SetupPhase::Downloading, [this] { cancel = true; });

  const auto result = install();

  ASSERT_FALSE(result);
  EXPECT_EQ(result.error(), "The installation was stopped; nothing was installed.");
  EXPECT_FALSE(platform::exists(install_dir));
  EXPECT_THAT(log_texts(temp_log()),
              ElementsAre("the update download was cancelled \u2014 nothing partial was staged"));
}

TEST_F(InstallFailureTest, AStagingFailureInAnExistingInstallationDiscardsWhatWasStaged) {
  publish(product_release("1.4.0", kIssued));
  ASSERT_TRUE(install());
  publish(product_release("1.5.0", kIssued + 1000));
  at_phase(SetupPhase::Downloading, [this] { cancel = true; });
  const auto before = tree_of(install_dir);

  const auto result = install();

  ASSERT_FALSE(result);
  EXPECT_FALSE(platform::exists(pending("1.5.0")));
  EXPECT_THAT(log_texts(setup_log()),
              ElementsAre("the update download was cancelled \u2014 nothing partial was staged"));
  EXPECT_EQ(platform::read_file(exe()).value(), before.at("morvane.exe"));
}

// What is done to the staged release between staging and its second
// verification, and how the run ends.
struct Tamper {
  std::string name;
  std::function<void(const platform::Path& pending)> damage;
  std::string sentence;
  std::string logged;
  friend void PrintTo(const Tamper& value, std::ostream* out) { *out << value.name; }
};

class StagedTamperTest : public InstallFailureTest, public ::testing::WithParamInterface<Tamper> {};

TEST_P(StagedTamperTest, IsCaughtBeforeAnythingMovesIntoPlace) {
  publish(product_release("1.4.0", kIssued));
  at_phase(SetupPhase::Verifying, [this] { GetParam().damage(pending("1.4.0")); });

  const auto result = install();

  ASSERT_FALSE(result);
  EXPECT_EQ(result.error(), GetParam().sentence);
  EXPECT_FALSE(platform::exists(install_dir));
  const auto lines = log_texts(temp_log());
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_THAT(lines[0], HasSubstr(GetParam().logged));
  EXPECT_EQ(statuses.back().phase, SetupPhase::Verifying);
}

void flip_last_byte(const platform::Path& path) {
  auto bytes = platform::read_file(path).value();
  bytes.back() ^= 0x01;
  ASSERT_TRUE(platform::write_file(path, bytes));
}

INSTANTIATE_TEST_SUITE_P(
    Damage, StagedTamperTest,
    ::testing::Values(
        Tamper{"StagedFileChanged", [](const platform::Path& p) { flip_last_byte(p / "libvorda.dll"); }, kNotOwnFile,
               "libvorda.dll does not match the verified manifest"},
        Tamper{"StagedFileGone", [](const platform::Path& p) { (void)platform::remove_file(p / "libvorda.dll"); },
               kNotOwnFile, "libvorda.dll is missing"},
        Tamper{"SignatureGone", [](const platform::Path& p) { (void)platform::remove_file(p / "release.json.sig"); },
               kNotProven, "arrived with no signature"},
        Tamper{"ManifestChanged", [](const platform::Path& p) { flip_last_byte(p / "release.json"); }, kNotProven,
               "SIGNATURE VERIFICATION FAILURE"},
        Tamper{"ManifestGone", [](const platform::Path& p) { (void)platform::remove_file(p / "release.json"); },
               kCouldNotInstall, "release.json: No such file or directory (os error 2)"}),
    [](const auto& info) { return info.param.name; });

TEST_F(InstallFailureTest, ASwapThatFailsWithoutAJournalMovesTheFilesBackAndDiscardsTheStaging) {
  const testkit::Release installed = product_release("1.4.0", kIssued);
  publish(installed);
  ASSERT_TRUE(install());
  // The executable is the same, so only the libraries move, without a
  // journal; the third of them cannot be moved in.
  publish(with_exe_of(product_release("1.5.0", kIssued + 1000), installed));
  const auto before = tree_of(install_dir);
  steps.clear();
  file_faults::Scope scope;
  at_phase(SetupPhase::Installing, [this] { file_faults::fail_next_rename_onto((install_dir / "libqet.dll").string()); });

  const auto result = install();

  ASSERT_FALSE(result);
  EXPECT_EQ(result.error(), kCouldNotInstall);
  EXPECT_EQ(file_faults::failures(), 1);
  const auto lines = log_texts(setup_log());
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_THAT(lines[0], HasSubstr("Input/output error (os error 5)"));
  EXPECT_FALSE(platform::exists(updates() / "swap.journal"));
  EXPECT_FALSE(platform::exists(pending("1.5.0")));
  for (const auto& name : product_file_names()) {
    EXPECT_EQ(platform::read_file(install_dir / name).value_or(platform::Bytes{}), before.at(name)) << name;
  }
  EXPECT_THAT(steps, IsEmpty());
}

// A swap into an existing installation that fails after its journal is
// written: which rename fails, the file that the failure names, and what
// the next run then knows of the installation it finds.
struct JournalStop {
  std::string name;
  // The rename that fails: onto the install folder joined with this name.
  std::string failing_target;
  // The path that the logged error names, in the install folder or in the
  // staging folder.
  std::string named_file;
  bool named_in_pending = false;
  // The next run finds the new executable in place only after its own
  // repair, so it read no installed version before it.
  std::optional<std::string> previous_version;
  friend void PrintTo(const JournalStop& value, std::ostream* out) { *out << value.name; }
};

class JournalStopTest : public InstallFailureTest, public ::testing::WithParamInterface<JournalStop> {};

TEST_P(JournalStopTest, KeepsTheStagingFolderForTheNextRunsRepair) {
  const JournalStop& stop = GetParam();
  publish(product_release("1.4.0", kIssued));
  ASSERT_TRUE(install());
  const testkit::Release release = product_release("1.5.0", kIssued + 1000);
  publish(release);
  {
    file_faults::Scope scope;
    at_phase(SetupPhase::Installing,
             [&] { file_faults::fail_next_rename_onto((install_dir / stop.failing_target).string()); });

    const auto failed = install();

    ASSERT_FALSE(failed);
    EXPECT_EQ(failed.error(), kCouldNotInstall);
    const platform::Path named = (stop.named_in_pending ? pending("1.5.0") : install_dir) / stop.named_file;
    EXPECT_THAT(log_texts(setup_log()),
                ElementsAre("io error at " + named.string() + ": Input/output error (os error 5)"));
    EXPECT_TRUE(platform::is_regular_file(updates() / "swap.journal"));
    EXPECT_TRUE(platform::is_regular_file(pending("1.5.0") / "morvane.exe"));
  }
  on_status = nullptr;
  steps.clear();
  const std::size_t requests_before = host().requests().size();

  // The repair completes or undoes the half-done swap from the files in the
  // staging folder, and the run installs the release without fetching any
  // of its files again.
  const auto result = install();

  ASSERT_TRUE(result) << result.error() << "\n" << read_text(setup_log());
  EXPECT_EQ(*result, (setup::InstallSuccess{"1.5.0", stop.previous_version, false}));
  EXPECT_FALSE(platform::exists(updates() / "swap.journal"));
  for (const auto& file : release.files) {
    EXPECT_EQ(platform::read_file(install_dir / file.name).value_or(platform::Bytes{}), file.bytes) << file.name;
  }
  const auto requests = host().requests();
  for (std::size_t i = requests_before; i < requests.size(); ++i) {
    EXPECT_THAT(requests[i], ::testing::AnyOf(::testing::EndsWith("/release.json 200"),
                                              ::testing::EndsWith("/release.json.sig 200")));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Stops, JournalStopTest,
    ::testing::Values(
        // The libraries are in; the installed executable cannot be moved
        // aside. The repair moves the libraries back into the staging
        // folder.
        JournalStop{"BeforeTheExecutableMovedAside", "morvane.exe.old", "morvane.exe", false, "1.4.0"},
        // The installed executable is aside; the new one cannot be moved
        // in. The repair moves it in from the staging folder.
        JournalStop{"BeforeTheNewExecutableMovedIn", "morvane.exe", "morvane.exe", true, std::nullopt}),
    [](const auto& info) { return info.param.name; });

TEST_F(InstallFailureTest, AFreshInstallWhoseRenameFailsDeletesWhatItMoved) {
  ASSERT_TRUE(platform::create_dirs(install_dir));
  const testkit::Release release = product_release("1.4.0", kIssued);
  publish(release);
  const platform::Path blocked = install_dir / "libqet.dll";
  at_phase(SetupPhase::Installing, [&] { ASSERT_TRUE(platform::create_dirs(blocked / "in the way")); });

  const auto result = install();

  ASSERT_FALSE(result);
  EXPECT_EQ(result.error(), blocked.string() +
                                " could not be written (Is a directory (os error 21)), so nothing was installed. "
                                "Run the installer again.");
  EXPECT_THAT(log_texts(setup_log()), ElementsAre("moving " + (pending("1.4.0") / "libqet.dll").string() + " to " +
                                                  blocked.string() + ": Is a directory (os error 21)"));
  // The three files that were already in place are deleted, not kept and
  // not moved back; the staging folder is gone; the folder, which existed,
  // stays.
  for (const char* name : {"morvane.exe", "libkesto.dll", "libranel.dll", "libvorda.dll"}) {
    EXPECT_FALSE(platform::exists(install_dir / name)) << name;
  }
  EXPECT_FALSE(platform::exists(pending("1.4.0")));
  EXPECT_TRUE(platform::exists(blocked / "in the way"));
  EXPECT_THAT(steps, IsEmpty());
}

TEST_F(InstallFailureTest, AFirstInstallWhoseRenameFailsLeavesNoFolderAndItsLogAside) {
  publish(product_release("1.4.0", kIssued));
  const platform::Path blocked = install_dir / "libzun.dll";
  at_phase(SetupPhase::Installing, [&] { ASSERT_TRUE(platform::create_dirs(blocked / "in the way")); });

  const auto result = install();

  ASSERT_FALSE(result);
  EXPECT_THAT(result.error(), StartsWith(blocked.string() + " could not be written ("));
  EXPECT_FALSE(platform::exists(install_dir));
  EXPECT_THAT(log_texts(temp_log()), ElementsAre("moving " + (pending("1.4.0") / "libzun.dll").string() + " to " +
                                                 blocked.string() + ": Is a directory (os error 21)"));
}

// The steps after the release is in place: each failure is the run's
// failure, with the release left installed and nothing logged or reported.
class AfterInstallFailureTest : public InstallFailureTest, public ::testing::WithParamInterface<int> {};

TEST_P(AfterInstallFailureTest, LeavesTheReleaseInstalled) {
  const std::vector<std::string> names = {"copy_uninstaller", "make_shortcuts", "write_uninstall_entry"};
  const std::string failing = names[GetParam()];
  failing_steps[failing] = "the " + failing + " text";
  const testkit::Release release = product_release("1.4.0", kIssued);
  publish(release);

  const auto result = install();

  ASSERT_FALSE(result);
  EXPECT_EQ(result.error(), "the " + failing + " text");
  ASSERT_EQ(steps.size(), static_cast<std::size_t>(GetParam() + 1));
  EXPECT_THAT(steps.back(), StartsWith(failing + " "));
  EXPECT_FALSE(platform::exists(setup_log()));
  EXPECT_FALSE(platform::exists(temp_log()));
  EXPECT_FALSE(platform::exists(pending("1.4.0")));
  for (const auto& file : release.files) {
    EXPECT_EQ(platform::read_file(install_dir / file.name).value_or(platform::Bytes{}), file.bytes) << file.name;
  }

  // The next run finds the release in place.
  failing_steps.clear();
  steps.clear();
  const auto again = install();
  ASSERT_TRUE(again) << again.error();
  EXPECT_TRUE(again->already_current);
  EXPECT_EQ(steps.back(), "send_install_report reinstalled 1.4.0");
}

std::string after_install_step_name(const ::testing::TestParamInfo<int>& info) {
  const char* names[] = {"Uninstaller", "Shortcuts", "UninstallEntry"};
  return names[info.param];
}

INSTANTIATE_TEST_SUITE_P(Steps, AfterInstallFailureTest, ::testing::Values(0, 1, 2), after_install_step_name);

}  // namespace
}  // namespace setup_test
