// The small pieces of the install transaction: the log copy's path, the
// user's sentences for the updater's errors, the staging tracker, and the
// uninstaller copy on the disk.
#include <algorithm>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/fs.hpp"
#include "setup/common/install_paths.hpp"
#include "setup/install/install_error_text.hpp"
#include "setup/install/stage_tracker.hpp"
#include "setup/install/uninstaller_copy.hpp"
#include "setup/tests/disk_views.hpp"
#include "setup/tests/scoped_env.hpp"
#include "testkit/file_fault_interpose.hpp"
#include "testkit/temp_dir.hpp"
#include "update/own_file_names.hpp"

namespace setup {
namespace {

using update::StageEvent;
using update::UpdateError;
using ::testing::ElementsAre;

TEST(TempLogPath, IsTheFolderTextsHashInTheUsersTemporaryFolder) {
  testkit::TempDir temp;
  setup_test::ScopedEnv env("TMPDIR", temp.path().string());
  EXPECT_EQ(temp_log_path(platform::Path("abc")), temp.path() / "morvane-setup-0541574b.log");
  EXPECT_EQ(temp_log_path(platform::Path("")), temp.path() / "morvane-setup-84222325.log");
  // The same folder always gives the same name; another folder another.
  const platform::Path folder = "/home/someone/.local/Programs/MORVANE";
  EXPECT_EQ(temp_log_path(folder), temp_log_path(folder));
  EXPECT_NE(temp_log_path(folder), temp_log_path(folder / ".."));
}

// The uninstaller that the uninstall entry names is renamed into place only
// once its bytes are on the disk, and the rename is on the disk when the
// copy answers: a power cut never leaves an uninstall.exe that is empty or
// cut short.
TEST(UninstallerCopy, ItsBytesAreOnTheDiskBeforeItsNameIs) {
  testkit::TempDir dir;
  const platform::Path program = dir / "morvane-setup";
  const platform::Path install = dir / "MORVANE";
  ASSERT_TRUE(platform::write_file(program, platform::byte_view(std::string(100000, 'u'))));
  ASSERT_TRUE(platform::create_dirs(install));
  testkit::file_faults::Scope scope;
  const auto copied = copy_uninstaller_from(program, install);
  ASSERT_TRUE(copied) << copied.error();

  const auto timeline = testkit::file_faults::timeline();
  const auto named = [](const std::string& text) {
    return platform::comparable_path(platform::path_from_utf8(text).lexically_normal());
  };
  const platform::Path part = named((install / "uninstall.part").string());
  const platform::Path target = named((install / "uninstall.exe").string());
  const auto rename = std::find_if(timeline.begin(), timeline.end(), [&](const testkit::file_faults::Operation& op) {
    return op.what == "rename" && named(op.from) == part && named(op.to) == target;
  });
  ASSERT_NE(rename, timeline.end());
  EXPECT_TRUE(std::any_of(timeline.begin(), rename, [&](const testkit::file_faults::Operation& op) {
    return op.what == "sync" && named(op.from) == part;
  })) << "the copy was not flushed before its rename";
  EXPECT_TRUE(testkit::file_faults::on_disk_before(timeline, rename - timeline.begin(), timeline.size()));
  EXPECT_EQ(platform::read_file(install / "uninstall.exe").value().size(), 100000u);
}

TEST(InstallNames, AreTheProductsOwn) {
  EXPECT_EQ(update::exe_file_name, "morvane.exe");
  EXPECT_EQ(product_instance_mutex_name(), "Global\\MORVANE.instance");
}

struct ErrorCase {
  UpdateError error;
  std::string sentence;
};

const std::string kNotProven =
    "The download did not prove it is Morvane's own release, so nothing was installed. Try again later.";
const std::string kNotOwnFile =
    "A downloaded file was not Morvane's own, so nothing was installed. Run the installer again.";
const std::string kUnreachable =
    "Morvane's download server could not be reached. Check this computer's connection and run the installer again.";
const std::string kCancelled = "The installation was stopped; nothing was installed.";
const std::string kCouldNotInstall = "Morvane could not be installed. Run the installer again.";

TEST(InstallErrorText, GivesEachKindOfErrorItsSentenceAndLogsTheFullOneOnOneLine) {
  using E = UpdateError;
  const std::vector<ErrorCase> cases = {
      {{E::NoSignature{"u"}}, kNotProven},
      {{E::NotEd25519{"u", 3, 64}}, kNotProven},
      {{E::SignatureFailure{"u"}}, kNotProven},
      {{E::UnpinnedKey{"u", "k"}}, kNotProven},
      {{E::Unusable{"u", "r"}}, kNotProven},
      {{E::WrongProduct{"u", "p", "c", "morvane", "stable-intl"}}, kNotProven},
      {{E::Replay{"u", 1, 2}}, kNotProven},
      {{E::HashMismatch{"f", "a", "b"}}, kNotOwnFile},
      {{E::SizeMismatch{"f", 1, 2}}, kNotOwnFile},
      {{E::Incomplete{"f"}}, kNotOwnFile},
      {{E::Unreachable{"c", "line one\n  line two"}}, kUnreachable},
      {{E::Cancelled{}}, kCancelled},
      {{E::Io{"/x", "m"}}, kCouldNotInstall},
      {{E::OutsideWriteSet{"j", "p", "w"}}, kCouldNotInstall},
  };
  for (const ErrorCase& c : cases) {
    testkit::TempDir dir;
    const platform::Path install_dir = dir / "MORVANE";
    EXPECT_EQ(install_error_text(install_dir, c.error), c.sentence) << update::display_update_error(c.error);
    EXPECT_THAT(setup_test::log_texts(install_dir / "updates" / "setup.log"),
                ElementsAre(update::error_one_line(c.error)));
  }
}

TEST(InstallErrorText, PutsAMultiLineErrorOnOneLogLine) {
  testkit::TempDir dir;
  install_error_text(dir.path(), UpdateError{UpdateError::Unreachable{"release.json", "a\n b\tc"}});
  EXPECT_THAT(setup_test::log_texts(dir / "updates" / "setup.log"),
              ElementsAre("cannot reach the release channel for release.json: a b c"));
}

TEST(StageTracker, SendsOneDownloadingStatusPerProgressReportAndSettledFile) {
  std::vector<SetupStatus> sent;
  const StatusSink sink = [&](SetupStatus status) { sent.push_back(status); };
  SetupStatus start;
  start.version = "1.4.0";
  start.from_version = "1.3.9";
  start.total_bytes = 300;
  start.files_total = 2;
  start.phase = SetupPhase::Downloading;
  StageTracker tracker{start, 0, sink, false};

  const std::vector<StageEvent> events = {
      {StageEvent::Planned{2, 300}},
      {StageEvent::FileStarted{100, "a.dll", true}},
      {StageEvent::BytesDone{40, 100}},
      {StageEvent::FileStaged{"a.dll", 100, true}},
      {StageEvent::FileStarted{200, "b.dll", false}},
      {StageEvent::BytesDone{50, 70}},
      {StageEvent::BytesDone{70, 70}},
      {StageEvent::FileStaged{"b.dll", 200, false}},
  };
  std::vector<bool> fetched_after;
  for (const StageEvent& event : events) {
    on_stage_event(tracker, event);
    fetched_after.push_back(tracker.fetched);
  }

  std::vector<std::pair<std::uint64_t, std::uint64_t>> progress;
  for (const SetupStatus& status : sent) {
    EXPECT_EQ(status.version, "1.4.0");
    EXPECT_EQ(status.from_version, "1.3.9");
    EXPECT_EQ(status.total_bytes, 300u);
    EXPECT_EQ(status.files_total, 2u);
    EXPECT_EQ(status.phase, SetupPhase::Downloading);
    progress.emplace_back(status.done_bytes, status.files_done);
  }
  // A progress report counts from the files settled before it; a settled
  // file counts its signed size, whatever its download reported.
  EXPECT_THAT(progress, ElementsAre(std::pair{40u, 0u}, std::pair{100u, 1u}, std::pair{150u, 1u},
                                    std::pair{170u, 1u}, std::pair{300u, 2u}));
  EXPECT_THAT(fetched_after, ElementsAre(false, false, false, false, false, false, false, true));
}

}  // namespace
}  // namespace setup
