// The quiet install as a user runs it: the real morvane-setup --quiet, built
// with the test profile, in a throwaway profile, against a local channel
// that nginx serves on the release host's compiled-in port. These tests hold
// that port, so CTest runs them one at a time.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "fetch/http/server_url.hpp"
#include "morvane/config.hpp"
#include "platform/fs.hpp"
#include "platform/named_mutex.hpp"
#include "platform/process.hpp"
#include "setup/main/install_paths.hpp"
#include "setup/main/uninstall_entry.hpp"
#include "setup/tests/disk_views.hpp"
#include "setup/tests/product_release.hpp"
#include "setup/tests/scoped_env.hpp"
#include "setup/tests/setup_process.hpp"
#include "testkit/release_host.hpp"
#include "testkit/release_publisher.hpp"
#include "testkit/temp_dir.hpp"

namespace setup_test {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

constexpr std::int64_t kIssued = 1'700'000'000'000;

std::uint16_t configured_release_port() {
  const auto url = fetch::parse_server_url(config::release_host_url);
  if (!url) throw std::runtime_error("the build's release host URL does not parse");
  return url->port;
}

// Holds a named mutex in a forked process of its own until it goes away.
// Made before any thread of the test starts.
class MutexHolder {
 public:
  MutexHolder(const platform::Path& runtime_dir, const std::string& name) {
    int ready[2];
    int release[2];
    if (pipe2(ready, O_CLOEXEC) != 0 || pipe2(release, O_CLOEXEC) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      close(ready[0]);
      close(release[1]);
      setenv("XDG_RUNTIME_DIR", runtime_dir.c_str(), 1);
      const char answer = platform::claim_named_mutex(name) ? 'y' : 'n';
      (void)!write(ready[1], &answer, 1);
      char ignored;
      (void)!read(release[0], &ignored, 1);  // returns when the holder goes away
      _exit(0);
    }
    close(ready[1]);
    close(release[0]);
    release_fd_ = release[1];
    char answer = 'n';
    if (pid_ > 0 && read(ready[0], &answer, 1) == 1) claimed_ = answer == 'y';
    close(ready[0]);
  }
  ~MutexHolder() { release(); }
  MutexHolder(const MutexHolder&) = delete;
  MutexHolder& operator=(const MutexHolder&) = delete;

  bool claimed() const { return claimed_; }
  void release() {
    if (release_fd_ >= 0) close(release_fd_);
    release_fd_ = -1;
    if (pid_ > 0) waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

 private:
  pid_t pid_ = -1;
  int release_fd_ = -1;
  bool claimed_ = false;
};

class QuietInstallExe : public ::testing::Test {
 protected:
  testkit::TempDir root;
  platform::Path home = root / "home";
  platform::Path tmp = root / "tmp";
  platform::Path cwd = root / "cwd";
  platform::Path run_dir = root / "run";
  platform::Path local = root / "local";
  platform::Path app_data = root / "appdata";
  platform::Path profile = root / "profile";
  platform::Path hive = root / "hive";
  platform::Path channel = root / "channel";
  platform::Path install = local / "Programs" / "MORVANE";
  platform::Path start_menu_link = app_data / "Microsoft" / "Windows" / "Start Menu" / "Programs" / "Morvane.lnk";
  platform::Path desktop_link = profile / "Desktop" / "Morvane.lnk";
  std::unique_ptr<testkit::ReleaseHost> host;

  void SetUp() override {
    for (const auto& dir : {home, tmp, cwd, run_dir, local, hive, channel, start_menu_link.parent_path(),
                            desktop_link.parent_path()}) {
      ASSERT_TRUE(platform::create_dirs(dir));
    }
  }

  void publish(const testkit::Release& release) {
    auto published = testkit::publish_release(channel, release);
    ASSERT_TRUE(published) << published.error();
    if (!host) host = std::make_unique<testkit::ReleaseHost>(channel, configured_release_port());
  }

  ExeRun quiet_install(const std::vector<std::string>& args = {"--quiet"}) const {
    const std::map<std::string, std::string> env = {
        {"HOME", home.string()},
        {"TMPDIR", tmp.string()},
        {"XDG_RUNTIME_DIR", run_dir.string()},
        {"LOCALAPPDATA", local.string()},
        {"APPDATA", app_data.string()},
        {"USERPROFILE", profile.string()},
        {"MORVANE_HIVE_DIR", hive.string()},
        {"MORVANE_SETUP_UNCOUNTED", "1"},
    };
    return run_setup_exe(args, env, cwd, root / "capture");
  }

  std::string registered_version() const {
    ScopedEnv hive_env("MORVANE_HIVE_DIR", hive.string());
    auto r = platform::run_hidden("reg", {"query", setup::uninstall_key_path(), "/v", "DisplayVersion"});
    if (!r || r->exit_code != 0) return "(none)";
    return platform::to_string(r->stdout_bytes);
  }

  void expect_installed(const testkit::Release& release) {
    for (const auto& file : release.files) {
      EXPECT_EQ(platform::read_file(install / file.name).value_or(platform::Bytes{}), file.bytes) << file.name;
    }
  }
};

TEST_F(QuietInstallExe, InstallsTheChannelsReleaseAndLaterUpdatesIt) {
  const testkit::Release first = product_release("1.4.0", kIssued);
  publish(first);

  const ExeRun installed = quiet_install();

  ASSERT_EQ(installed.exit_code, 0) << installed.err << read_text(install / "updates" / "setup.log");
  EXPECT_EQ(installed.out, "");
  expect_installed(first);
  EXPECT_TRUE(platform::is_regular_file(install / "uninstall.exe"));
  EXPECT_TRUE(platform::is_regular_file(start_menu_link));
  EXPECT_TRUE(platform::is_regular_file(desktop_link));
  EXPECT_THAT(registered_version(), HasSubstr("1.4.0"));
  EXPECT_TRUE(platform::is_regular_file(install / "updates" / "history" / "1.4.0" / "release.json"));

  testkit::Release second = product_release("1.5.0", kIssued + 1000);
  second.earlier = {testkit::EarlierRelease{"1.4.0", first.files}};
  publish(second);

  const ExeRun updated = quiet_install();

  ASSERT_EQ(updated.exit_code, 0) << updated.err << read_text(install / "updates" / "setup.log");
  expect_installed(second);
  EXPECT_EQ(platform::read_file(install / "morvane.exe.old").value_or(platform::Bytes{}), first.files[0].bytes);
  EXPECT_THAT(registered_version(), HasSubstr("1.5.0"));
  EXPECT_FALSE(platform::exists(install / "updates" / "pending" / "1.5.0"));
  EXPECT_FALSE(platform::exists(install / "updates" / "swap.journal"));
}

TEST_F(QuietInstallExe, WaitsForNoOtherSetupProgramAndInstallsOnceItIsGone) {
  MutexHolder other_setup(run_dir, "Local\\MORVANE.setup");
  ASSERT_TRUE(other_setup.claimed());
  const testkit::Release release = product_release("1.4.0", kIssued);
  publish(release);

  const ExeRun refused = quiet_install();

  EXPECT_EQ(refused.exit_code, 1);
  EXPECT_EQ(refused.err, "");
  EXPECT_FALSE(platform::exists(local / "Programs"));
  EXPECT_TRUE(host->requests().empty());

  other_setup.release();
  const ExeRun installed = quiet_install({"x", "--quiet", "--quiet"});

  EXPECT_EQ(installed.exit_code, 0) << installed.err;
  expect_installed(release);
}

TEST_F(QuietInstallExe, AFailedFirstInstallEndsWithExitCode1AndLeavesItsLogInTheTemporaryFolder) {
  publish(product_release("0.1.300", kIssued));

  const ExeRun r = quiet_install();

  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_FALSE(platform::exists(install));
  ScopedEnv tmp_env("TMPDIR", tmp.string());
  EXPECT_THAT(log_texts(setup::temp_log_path(install)),
              ElementsAre("the server offers 0.1.300, below this installer's 0.1.382"));
}

}  // namespace
}  // namespace setup_test
