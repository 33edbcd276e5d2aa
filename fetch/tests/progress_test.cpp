#include "fetch/progress.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <limits>
#include <thread>

namespace fetch {
namespace {

constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();

TEST(ProgressTest, ContinueUnlessCancelledFollowsTheFlag) {
  std::atomic<bool> flag{false};
  const ProgressFn progress = continue_unless_cancelled(flag);
  EXPECT_TRUE(progress(0, 0));
  EXPECT_TRUE(progress(10, 100));
  flag = true;
  // Stops whatever the numbers, before the first byte included.
  EXPECT_FALSE(progress(0, 0));
  EXPECT_FALSE(progress(0, 100));
  EXPECT_FALSE(progress(kMax, kMax));
  flag = false;  // a retry clears it
  EXPECT_TRUE(progress(5, 5));
}

TEST(ProgressTest, ContinueUnlessCancelledSeesAFlagSetByAnotherThread) {
  std::atomic<bool> flag{false};
  const ProgressFn progress = continue_unless_cancelled(flag);
  std::thread setter([&flag] { flag = true; });
  setter.join();
  EXPECT_FALSE(progress(1, 2));
}

TEST(ProgressTest, AlwaysContinueNeverStops) {
  const ProgressFn progress = always_continue();
  EXPECT_TRUE(progress(0, 0));
  EXPECT_TRUE(progress(kMax, 0));
  EXPECT_TRUE(progress(kMax, kMax));
}

}  // namespace
}  // namespace fetch
