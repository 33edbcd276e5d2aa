// The real morvane-setup executable, started as a user would start it, with
// an environment of the test's own making.
#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/fs.hpp"
#include "setup/tests/mutex_holder.hpp"
#include "setup/tests/setup_process.hpp"
#include "testkit/temp_dir.hpp"

namespace setup_test {
namespace {

using namespace std::chrono_literals;

// One sandbox per test: a home, a temporary folder, a working folder, a
// runtime folder for the named mutexes and a LOCALAPPDATA, all empty, plus a
// folder outside the sandbox's view for the captured output.
class SetupExe : public ::testing::Test {
 protected:
  testkit::TempDir root;
  platform::Path home = root / "home";
  platform::Path tmp = root / "tmp";
  platform::Path cwd = root / "cwd";
  platform::Path run = root / "run";
  platform::Path local = root / "local";
  platform::Path capture = root / "capture";

  void SetUp() override {
    for (const auto& dir : {home, tmp, cwd, run, local, capture}) ASSERT_TRUE(platform::create_dirs(dir));
  }

  // Starts morvane-setup with `args` and only the given environment, and
  // waits (at most 30 seconds) for it to end.
  ExeRun start(const std::vector<std::string>& args, bool with_local_app_data,
               const std::optional<platform::Path>& runtime = std::nullopt) const {
    std::map<std::string, std::string> env = {
        {"HOME", home.string()},
        {"TMPDIR", tmp.string()},
        {"XDG_RUNTIME_DIR", runtime.value_or(run).string()},
        {"MORVANE_SETUP_UNCOUNTED", "1"},
    };
    if (with_local_app_data) env["LOCALAPPDATA"] = local.string();
    return run_setup_exe(args, env, cwd, capture);
  }

  // Nothing was written anywhere the program could reach.
  void expect_nothing_written() const {
    for (const auto& dir : {home, tmp, cwd, local}) EXPECT_TRUE(sorted_entries(dir).empty()) << dir;
  }
};

TEST_F(SetupExe, QuietWithoutLocalAppDataFailsWithoutAWordOrAFile) {
  const ExeRun r = start({"--quiet"}, false);
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out, "");
  expect_nothing_written();
  EXPECT_TRUE(sorted_entries(run).empty());  // it failed before it claimed the mutex
}

TEST_F(SetupExe, QuietWhileAnotherProcessHoldsTheSetupMutexFailsAtOnce) {
  {
    MutexHolder holder(run, "Local\\MORVANE.setup");
    ASSERT_TRUE(holder.claimed());
    const ExeRun r = start({"--quiet"}, true);
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.err, "");  // no box, and the install never started
    EXPECT_EQ(r.out, "");
    // The holder holds until the test lets go, so a run that waited for the
    // mutex would have been killed at the run's time limit (and ended with
    // no exit code of its own): it failed at once, while the mutex was still
    // held.
    EXPECT_TRUE(holder.holding());
    expect_nothing_written();
  }
  // That the same run installs once the holder is gone is shown against a
  // served channel, in quiet_install_exe_test.cpp.
}

TEST_F(SetupExe, AnArgumentThatOnlyLooksLikeTheQuietOptionStartsTheWindowMode) {
  // With the setup mutex taken, the window mode refuses at once with its box
  // (on standard error here, where there is no display), where the quiet
  // mode would end without a word; so the box tells the two apart without
  // any install being started.
  MutexHolder holder(run, "Local\\MORVANE.setup");
  ASSERT_TRUE(holder.claimed());
  const std::vector<std::vector<std::string>> cases = {
      {}, {"--QUIET"}, {"--quiet=1"}, {"/quiet", "-quiet"}, {"--Uninstall", "quiet"},
  };
  for (const auto& args : cases) {
    std::string shown;
    for (const auto& arg : args) shown += "[" + arg + "]";
    SCOPED_TRACE(shown);
    const ExeRun r = start(args, true);
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.err, "[Morvane \u2014 not done] (error) The Morvane installer is already running.\n");
    EXPECT_EQ(r.out, "");
    expect_nothing_written();
  }
}

TEST_F(SetupExe, ARuntimeFolderThatDoesNotExistIsNoReasonToRefuse) {
  // The window mode claims the setup mutex first, then looks for the install
  // folder: without LOCALAPPDATA its box says so, once the claim went
  // through.
  const ExeRun r = start({}, false, root / "no such folder");
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.err, "[Morvane \u2014 not done] (error) This computer gives no LOCALAPPDATA folder.\n");
  EXPECT_FALSE(platform::exists(root / "no such folder"));
  expect_nothing_written();
}

}  // namespace
}  // namespace setup_test
