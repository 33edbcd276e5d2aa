// The install transaction's successful roads against a real local channel:
// a first install, an update from an older version, the same release again,
// and a damaged installation repaired.
#include <sys/stat.h>

#include <algorithm>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/fs.hpp"
#include "setup/tests/install_fixture.hpp"
#include "testkit/release/product_standin.hpp"

namespace setup_test {
namespace {

using setup::InstallSuccess;
using setup::SetupPhase;
using setup::SetupStatus;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

constexpr std::int64_t kIssued = 1'700'000'000'000;

// The permissions of a file, as the system keeps them.
unsigned mode_of(const platform::Path& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 0777 : 0;
}

std::uint64_t total_bytes(const update::ReleaseManifest& manifest) {
  std::uint64_t total = 0;
  for (const auto& file : manifest.files) total += file.bytes;
  return total;
}

SetupStatus phase_only(SetupPhase phase, std::optional<std::string> version, std::optional<std::string> from) {
  SetupStatus status;
  status.version = std::move(version);
  status.from_version = std::move(from);
  status.phase = phase;
  return status;
}

// The statuses of a run that staged `manifest`, checked as the install
// window relies on them: Starting, the first Downloading with the totals,
// one Downloading per progress report or settled file (bytes never going
// back, each file counted once), Verifying, Installing, and nothing after.
void expect_status_road(const std::vector<SetupStatus>& statuses, const update::ReleaseManifest& manifest,
                        const std::optional<std::string>& from) {
  ASSERT_GE(statuses.size(), 4u);
  EXPECT_EQ(statuses.front(), SetupStatus{});

  SetupStatus first = phase_only(SetupPhase::Downloading, manifest.version, from);
  first.total_bytes = total_bytes(manifest);
  first.files_total = manifest.files.size();
  EXPECT_EQ(statuses[1], first);

  // A settled file counts its signed size, so the bytes at each settled
  // file are the sum of the sizes so far, in list order (in between, the
  // progress of an artifact or delta may count differently).
  const std::vector<SetupStatus> downloading(statuses.begin() + 2, statuses.end() - 2);
  std::uint64_t files = 0;
  std::uint64_t settled = 0;
  for (const SetupStatus& status : downloading) {
    EXPECT_EQ(status.phase, SetupPhase::Downloading);
    EXPECT_EQ(status.version, manifest.version);
    EXPECT_EQ(status.from_version, from);
    EXPECT_EQ(status.total_bytes, first.total_bytes);
    EXPECT_EQ(status.files_total, first.files_total);
    EXPECT_GE(status.done_bytes, settled);
    if (status.files_done == files + 1) {
      settled += manifest.files[files].bytes;
      EXPECT_EQ(status.done_bytes, settled) << manifest.files[files].path;
      files = status.files_done;
    } else {
      EXPECT_EQ(status.files_done, files);
    }
  }
  EXPECT_EQ(files, manifest.files.size());
  EXPECT_EQ(downloading.back().done_bytes, first.total_bytes);

  EXPECT_EQ(statuses[statuses.size() - 2], phase_only(SetupPhase::Verifying, manifest.version, from));
  EXPECT_EQ(statuses.back(), phase_only(SetupPhase::Installing, manifest.version, from));
}

class InstallSuccessTest : public InstallTest {
 protected:
  // Every file of the release is in the install folder with its bytes.
  void expect_installed(const testkit::Release& release) {
    for (const auto& file : release.files) {
      auto bytes = platform::read_file(install_dir / file.name);
      ASSERT_TRUE(bytes) << file.name;
      EXPECT_TRUE(*bytes == file.bytes) << file.name << " is not the release's";
    }
  }

  void expect_history(const testkit::PublishedRelease& published) {
    const platform::Path history = updates() / "history" / published.manifest.version;
    EXPECT_EQ(platform::read_file(history / "release.json").value_or(platform::Bytes{}), published.manifest_bytes);
    EXPECT_EQ(platform::read_file(history / "release.json.sig").value_or(platform::Bytes{}), published.signature);
  }

  // The host's requests after the first `skip`, that end with `suffix`.
  std::vector<std::string> requests_ending(std::size_t skip, const std::string& suffix) {
    std::vector<std::string> found;
    const auto all = host().requests();
    for (std::size_t i = skip; i < all.size(); ++i) {
      if (all[i].ends_with(suffix)) found.push_back(all[i]);
    }
    return found;
  }

  std::vector<std::string> post_install_steps(const std::string& kind, const std::string& version) {
    return {"copy_uninstaller " + install_dir.string(), "make_shortcuts " + exe().string(),
            "write_uninstall_entry " + install_dir.string() + " " + exe().string() + " " + version,
            "send_install_report " + kind + " " + version};
  }
};

TEST_F(InstallSuccessTest, AFirstInstallPutsEveryFileInPlaceAndRecordsTheRelease) {
  const testkit::Release release = product_release("1.4.0", kIssued);
  const auto published = publish(release);

  const auto result = install();

  ASSERT_TRUE(result) << result.error();
  EXPECT_EQ(*result, (InstallSuccess{"1.4.0", std::nullopt, false}));
  expect_installed(release);
  // Whoever may read the product's executable may start it.
  EXPECT_EQ(mode_of(exe()) & 0111, 0111u);
  expect_history(published);
  EXPECT_FALSE(platform::exists(pending("1.4.0")));
  EXPECT_FALSE(platform::exists(setup_log())) << read_text(setup_log());
  expect_status_road(statuses, published.manifest, std::nullopt);
  // The four steps after the release is in place come after the last
  // status, in order, with a first install's report.
  EXPECT_EQ(steps, post_install_steps("installed", "1.4.0"));
  ASSERT_GE(events.size(), 5u);
  EXPECT_EQ(events[events.size() - 5], "status Installing");
}

TEST_F(InstallSuccessTest, AnUpdateFromAnOlderVersionUsesDeltasAndNamesTheVersionItReplaces) {
  const testkit::Release old_release = product_release("1.3.9", kIssued);
  publish(old_release);
  ASSERT_TRUE(install());

  testkit::Release release = product_release("1.4.0", kIssued + 1000);
  release.earlier = {testkit::EarlierRelease{"1.3.9", old_release.files}};
  const auto published = publish(release);
  const std::size_t requests_before = host().requests().size();
  statuses.clear();
  steps.clear();

  const auto result = install();

  ASSERT_TRUE(result) << result.error();
  EXPECT_EQ(*result, (InstallSuccess{"1.4.0", "1.3.9", false}));
  expect_installed(release);
  expect_history(published);
  EXPECT_FALSE(platform::exists(updates() / "swap.journal"));
  expect_status_road(statuses, published.manifest, "1.3.9");
  EXPECT_EQ(steps, post_install_steps("reinstalled", "1.4.0"));
  // Every library came as a delta from the installed copy, none whole.
  EXPECT_EQ(requests_ending(requests_before, ".from-1.3.9 200").size(), 8u)
      << ::testing::PrintToString(host().requests());
  EXPECT_THAT(requests_ending(requests_before, ".dll 200"), IsEmpty());
  EXPECT_THAT(requests_ending(requests_before, ".xz 200"), IsEmpty());
}

TEST_F(InstallSuccessTest, TheSameReleaseAgainWithEveryFileKeptIsAlreadyCurrent) {
  const testkit::Release release = product_release("1.4.0", kIssued);
  const auto published = publish(release);
  ASSERT_TRUE(install());
  // As an earlier installer left it, without the permission to run.
  ASSERT_EQ(::chmod(exe().c_str(), 0644), 0);
  const std::size_t requests_before = host().requests().size();
  statuses.clear();
  steps.clear();

  const auto result = install();

  ASSERT_TRUE(result) << result.error();
  EXPECT_EQ(*result, (InstallSuccess{"1.4.0", std::nullopt, true}));
  expect_installed(release);
  EXPECT_EQ(mode_of(exe()), 0755u) << "the kept executable may be started";
  expect_status_road(statuses, published.manifest, std::nullopt);
  EXPECT_EQ(steps, post_install_steps("reinstalled", "1.4.0"));
  // Nothing but the manifest and its signature was asked for.
  const auto requests = host().requests();
  for (std::size_t i = requests_before; i < requests.size(); ++i) {
    EXPECT_THAT(requests[i], ::testing::AnyOf(::testing::EndsWith("/stable-intl/release.json 200"),
                                              ::testing::EndsWith("/stable-intl/release.json.sig 200")));
  }
}

TEST_F(InstallSuccessTest, TheSameReleaseOverADamagedFileFetchesItAndIsNotCurrent) {
  const testkit::Release release = product_release("1.4.0", kIssued);
  publish(release);
  ASSERT_TRUE(install());
  auto damaged = platform::read_file(install_dir / "libzun.dll").value();
  damaged[100] ^= 0xFF;
  ASSERT_TRUE(platform::write_file(install_dir / "libzun.dll", damaged));
  statuses.clear();

  const auto result = install();

  ASSERT_TRUE(result) << result.error();
  EXPECT_EQ(*result, (InstallSuccess{"1.4.0", std::nullopt, false}));
  expect_installed(release);
  EXPECT_EQ(statuses.back().from_version, std::nullopt);
}

TEST_F(InstallSuccessTest, AnExecutableWithoutAVersionResourceIsUpdatedWithNoInstalledVersion) {
  const testkit::Release release = product_release("1.4.0", kIssued);
  publish(release);
  ASSERT_TRUE(platform::create_dirs(install_dir));
  testkit::PeOptions bare;
  bare.with_resource = false;
  testkit::write_product_exe(exe(), bare);

  const auto result = install();

  ASSERT_TRUE(result) << result.error();
  EXPECT_EQ(*result, (InstallSuccess{"1.4.0", std::nullopt, false}));
  expect_installed(release);
  // The swap path: the executable it replaced is kept aside.
  EXPECT_TRUE(platform::is_regular_file(install_dir / "morvane.exe.old"));
  EXPECT_EQ(steps.back(), "send_install_report reinstalled 1.4.0");
}

}  // namespace
}  // namespace setup_test
