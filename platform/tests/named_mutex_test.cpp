#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "platform/named_mutex.hpp"
#include "testkit/temp_dir.hpp"

namespace {

// Each test gets its own runtime folder, so the lock files of one test (or of
// a real run) never meet another's.
class NamedMutex : public testing::Test {
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

TEST_F(NamedMutex, ASecondClaimInTheSameProcessAnswersFalse) {
  EXPECT_FALSE(platform::named_mutex_exists("Local\\T1.setup"));
  EXPECT_TRUE(platform::claim_named_mutex("Local\\T1.setup"));
  EXPECT_FALSE(platform::claim_named_mutex("Local\\T1.setup"));
  EXPECT_TRUE(platform::named_mutex_exists("Local\\T1.setup"));
}

TEST_F(NamedMutex, AnotherProcessHoldingTheNameKeepsUsOut) {
  const pid_t holder = claim_in_child("Local\\T2.setup");
  ASSERT_GT(holder, 0);
  EXPECT_TRUE(platform::named_mutex_exists("Local\\T2.setup"));
  EXPECT_FALSE(platform::claim_named_mutex("Local\\T2.setup"));
  kill_and_reap(holder);
}

TEST_F(NamedMutex, ACrashedHolderLeavesTheNameFree) {
  const pid_t holder = claim_in_child("Global\\T3.instance");
  ASSERT_GT(holder, 0);
  kill_and_reap(holder);
  EXPECT_FALSE(platform::named_mutex_exists("Global\\T3.instance"));
  EXPECT_TRUE(platform::claim_named_mutex("Global\\T3.instance"));
}

TEST_F(NamedMutex, ProbingNeitherClaimsNorCreatesAHold) {
  EXPECT_FALSE(platform::named_mutex_exists("Global\\T4.instance"));
  EXPECT_FALSE(platform::named_mutex_exists("Global\\T4.instance"));
  EXPECT_TRUE(platform::claim_named_mutex("Global\\T4.instance"));
}

TEST_F(NamedMutex, NamesThatDifferOnlyInTheirNamespaceAreDistinct) {
  EXPECT_TRUE(platform::claim_named_mutex("Local\\T5"));
  EXPECT_TRUE(platform::claim_named_mutex("Global\\T5"));
}

}  // namespace
