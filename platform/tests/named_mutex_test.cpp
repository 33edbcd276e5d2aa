// Named mutexes on every system: a second claim, another process's hold
// until it ends, a probe that holds nothing, and the two namespaces. What
// POSIX alone does (a crashed holder, the runtime folder) is in
// posix/named_mutex_test.cpp.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "platform/named_mutex.hpp"
#include "platform/path.hpp"
#include "platform/process.hpp"
#include "platform/tests/child_process.hpp"
#include "testkit/scoped_env.hpp"
#include "testkit/temp_dir.hpp"

namespace {

using namespace std::chrono_literals;

class NamedMutex : public testing::Test {
 protected:
  // Names of the test's own: unique to this process and moment, and, where
  // the layer keeps each name as a lock file in the user's runtime folder
  // (POSIX), in a runtime folder of the test's own. Windows reads no such
  // variable.
  static std::string unique(const std::string& stem) {
    return stem + "-" + std::to_string(platform::process_id()) + "-" +
           std::to_string(std::chrono::steady_clock::now().time_since_epoch().count());
  }

  testkit::TempDir dir_;
  testkit::ScopedEnv runtime_dir_{"XDG_RUNTIME_DIR", platform::display(dir_.path())};
};

using platform_test::eventually;
using platform_test::test_child;

TEST_F(NamedMutex, ASecondClaimInTheSameProcessAnswersFalse) {
  const std::string name = "Local\\" + unique("T1") + ".setup";
  EXPECT_FALSE(platform::named_mutex_exists(name));
  EXPECT_TRUE(platform::claim_named_mutex(name));
  EXPECT_FALSE(platform::claim_named_mutex(name));
  EXPECT_TRUE(platform::named_mutex_exists(name));
}

TEST_F(NamedMutex, AnotherProcessHoldingTheNameKeepsUsOutUntilItEnds) {
  const std::string name = "Global\\" + unique("T2") + ".setup";
  ASSERT_TRUE(platform::spawn_hidden(test_child(), {"hold", name, "2"}));
  ASSERT_TRUE(eventually([&] { return platform::named_mutex_exists(name); }, 100, 20ms)) << "never held: " << name;
  EXPECT_TRUE(platform::named_mutex_exists(name));
  EXPECT_FALSE(platform::claim_named_mutex(name));
  EXPECT_TRUE(eventually([&] { return !platform::named_mutex_exists(name); }, 200, 20ms)) << "still held: " << name;
}

TEST_F(NamedMutex, ProbingNeitherClaimsNorCreatesAHold) {
  const std::string name = "Global\\" + unique("T4") + ".instance";
  EXPECT_FALSE(platform::named_mutex_exists(name));
  EXPECT_FALSE(platform::named_mutex_exists(name));
  EXPECT_TRUE(platform::claim_named_mutex(name));
}

TEST_F(NamedMutex, NamesThatDifferOnlyInTheirNamespaceAreDistinct) {
  const std::string name = unique("T5");
  EXPECT_TRUE(platform::claim_named_mutex("Local\\" + name));
  EXPECT_TRUE(platform::claim_named_mutex("Global\\" + name));
}

}  // namespace
