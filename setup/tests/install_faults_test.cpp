// Internal faults inside the install transaction (an exception that nothing
// on the way catches) and a signed size that no memory can hold: while the
// run would take the failure tail, a fault takes it too.
#include <stdexcept>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/fs.hpp"
#include "setup/common/install_paths.hpp"
#include "setup/tests/install_fixture.hpp"
#include "testkit/release/scripted_release_host.hpp"

namespace setup_test {
namespace {

using setup::SetupPhase;
using ::testing::ElementsAre;
using ::testing::StartsWith;

constexpr std::int64_t kIssued = 1'700'000'000'000;

const std::string kCouldNotInstall = "Morvane could not be installed. Run the installer again.";
const std::string kStopped = "the installer's worker stopped: the status could not be shown";

class InstallFaultTest : public InstallTest {
 protected:
  platform::Path temp_log() const { return setup::temp_log_path(install_dir); }

  // The status sink throws at the first status that `when` picks.
  void throw_at(std::function<bool(const setup::SetupStatus&)> when) {
    on_status = [when = std::move(when)](const setup::SetupStatus& status) {
      if (when(status)) throw std::runtime_error("the status could not be shown");
    };
  }
};

bool after_two_files(const setup::SetupStatus& status) {
  return status.phase == SetupPhase::Downloading && status.files_done == 2;
}

TEST_F(InstallFaultTest, AFaultWhileAFirstInstallStagesLeavesNoFolderAndItsLogAside) {
  publish(product_release("1.4.0", kIssued));
  throw_at(after_two_files);

  const auto result = install();

  ASSERT_FALSE(result);
  EXPECT_EQ(result.error(), kCouldNotInstall);
  EXPECT_FALSE(platform::exists(install_dir));
  EXPECT_THAT(log_texts(temp_log()), ElementsAre(kStopped));
}

TEST_F(InstallFaultTest, AFaultBeforeAFirstInstallMovesInLeavesNoFolder) {
  publish(product_release("1.4.0", kIssued));
  throw_at([](const setup::SetupStatus& status) { return status.phase == SetupPhase::Installing; });

  const auto result = install();

  ASSERT_FALSE(result);
  EXPECT_EQ(result.error(), kCouldNotInstall);
  EXPECT_FALSE(platform::exists(install_dir));
  EXPECT_THAT(log_texts(temp_log()), ElementsAre(kStopped));
}

TEST_F(InstallFaultTest, AFaultWhileAnUpdateStagesDiscardsTheStagingAndKeepsTheInstallation) {
  publish(product_release("1.4.0", kIssued));
  ASSERT_TRUE(install());
  const auto before = tree_of(install_dir);
  publish(product_release("1.5.0", kIssued + 1000));
  throw_at(after_two_files);

  const auto result = install();

  ASSERT_FALSE(result);
  EXPECT_EQ(result.error(), kCouldNotInstall);
  EXPECT_FALSE(platform::exists(pending("1.5.0")));
  EXPECT_THAT(log_texts(setup_log()), ElementsAre(kStopped));
  EXPECT_EQ(platform::read_file(exe()).value(), before.at("morvane.exe"));
  EXPECT_FALSE(platform::exists(temp_log()));
}

// Once the release is in place nothing is undone: a fault in the steps after
// it reaches the worker, as their failures reach the user, and the release
// stays installed.
TEST_F(InstallFaultTest, AFaultAfterTheReleaseIsInPlaceLeavesItInstalled) {
  const testkit::Release release = product_release("1.4.0", kIssued);
  publish(release);
  throwing_steps["make_shortcuts"] = "no shortcut today";

  EXPECT_THROW(install(), std::runtime_error);

  EXPECT_FALSE(platform::exists(setup_log()));
  EXPECT_FALSE(platform::exists(pending("1.4.0")));
  for (const auto& file : release.files) {
    EXPECT_EQ(platform::read_file(install_dir / file.name).value_or(platform::Bytes{}), file.bytes) << file.name;
  }
}

// A file whose signed size no buffer can hold, and whose plain download
// breaks off, so that the ranged fallback would hold it whole: the download
// fails as any download does, and the first install takes the tail.
TEST_F(InstallFaultTest, ASignedSizeThatNoMemoryHoldsFailsTheDownload) {
  testkit::Release release = product_release("1.4.0", kIssued);
  for (auto& file : release.files) {
    if (file.name == "libzun.dll") file.xz_check.reset();
  }
  release.faults.edit_manifest = [](update::ReleaseManifest& manifest) {
    for (auto& entry : manifest.files) {
      if (entry.path == "libzun.dll") entry.bytes = std::uint64_t{1} << 63;
    }
  };
  ASSERT_TRUE(testkit::publish_release(channel_root, release));
  testkit::ScriptedReleaseHost host(channel_root);
  host.answer(testkit::channel_target("libzun.dll"), testkit::reply::hang_up());

  const auto result = install_from(host.base_url());

  ASSERT_FALSE(result);
  EXPECT_EQ(result.error(),
            "Morvane's download server could not be reached. Check this computer's connection and run the "
            "installer again.");
  EXPECT_FALSE(platform::exists(install_dir));
  EXPECT_THAT(log_texts(temp_log()),
              ElementsAre("cannot reach the release channel for /releases/morvane/stable-intl/libzun.dll: io error at "
                          "/releases/morvane/stable-intl/libzun.dll: no memory for 9223372036854775808 bytes"));
}

}  // namespace
}  // namespace setup_test
