// What the POSIX layer's named mutexes, lock files held with flock(2) in the
// user's runtime folder, do of their own: a crashed holder leaves the name
// free, and a runtime folder that is not there counts as none. The cases of
// every system are in ../named_mutex_test.cpp.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "platform/fs.hpp"
#include "platform/named_mutex.hpp"
#include "testkit/temp_dir.hpp"

namespace {

// Each test gets its own runtime folder, so the lock files of one test (or of
// a real run) never meet another's.
class NamedMutexLockFiles : public testing::Test {
 protected:
  void SetUp() override { ::setenv("XDG_RUNTIME_DIR", dir_.path().c_str(), 1); }
  void TearDown() override { ::unsetenv("XDG_RUNTIME_DIR"); }
  testkit::TempDir dir_;
};

// A child process that claims the name, reports, and then waits to be killed.
pid_t claim_in_child(const std::string& name) {
  int ready[2];
  if (::pipe(ready) != 0) return -1;
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::close(ready[0]);
    const char answer = platform::claim_named_mutex(name) ? 'y' : 'n';
    (void)!::write(ready[1], &answer, 1);
    for (;;) ::pause();
  }
  ::close(ready[1]);
  char answer = 0;
  (void)!::read(ready[0], &answer, 1);
  ::close(ready[0]);
  return answer == 'y' ? pid : -1;
}

void kill_and_reap(pid_t pid) {
  ::kill(pid, SIGKILL);
  int status = 0;
  ::waitpid(pid, &status, 0);
}

TEST_F(NamedMutexLockFiles, ACrashedHolderLeavesTheNameFree) {
  const pid_t holder = claim_in_child("Global\\T3.instance");
  ASSERT_GT(holder, 0);
  kill_and_reap(holder);
  EXPECT_FALSE(platform::named_mutex_exists("Global\\T3.instance"));
  EXPECT_TRUE(platform::claim_named_mutex("Global\\T3.instance"));
}

// A runtime folder that is named but missing is no runtime folder: the names
// go to the folder in /tmp, as when XDG_RUNTIME_DIR is not set, where another
// process of the user's without that setting meets them.
TEST_F(NamedMutexLockFiles, AMissingRuntimeFolderCountsAsNone) {
  const std::string name = "Local\\T6-" + std::to_string(::getpid()) + ".setup";
  const std::string lock =
      "/tmp/morvane-mutexes-" + std::to_string(::getuid()) + "/Local-T6-" + std::to_string(::getpid()) + ".setup.lock";
  for (const std::string& missing : {dir_.path().string() + "/missing", dir_.path().string() + "/file"}) {
    SCOPED_TRACE(missing);
    ::unlink(lock.c_str());
    ASSERT_TRUE(platform::write_file(dir_ / "file", platform::byte_view("not a folder")));
    ::setenv("XDG_RUNTIME_DIR", missing.c_str(), 1);
    const pid_t holder = claim_in_child(name);
    ASSERT_GT(holder, 0) << "the claim failed";
    EXPECT_TRUE(platform::named_mutex_exists(name));
    EXPECT_FALSE(platform::claim_named_mutex(name));
    ::unsetenv("XDG_RUNTIME_DIR");
    EXPECT_TRUE(platform::named_mutex_exists(name));
    kill_and_reap(holder);
    EXPECT_FALSE(platform::named_mutex_exists(name));
    EXPECT_EQ(::unlink(lock.c_str()), 0) << lock;
  }
}

}  // namespace
