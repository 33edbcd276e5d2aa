#include "update/store/clock.hpp"

#include <gtest/gtest.h>

#include <chrono>

namespace update {
namespace {

using std::chrono::system_clock;

TEST(ClockTest, MillisecondsSinceTheEpoch) {
  using namespace std::chrono;
  const system_clock::time_point epoch{};
  EXPECT_EQ(ms_since_epoch(epoch), 0u);
  EXPECT_EQ(ms_since_epoch(epoch + microseconds(999)), 0u);
  EXPECT_EQ(ms_since_epoch(epoch + milliseconds(1)), 1u);
  EXPECT_EQ(ms_since_epoch(epoch + seconds(1700000000) + microseconds(123999)), 1700000000123u);
}

TEST(ClockTest, BeforeTheEpochIsZero) {
  using namespace std::chrono;
  const system_clock::time_point epoch{};
  EXPECT_EQ(ms_since_epoch(epoch - microseconds(1)), 0u);
  EXPECT_EQ(ms_since_epoch(epoch - hours(24 * 365)), 0u);
}

TEST(ClockTest, NowIsAfterThisCodeWasWritten) {
  const auto before = ms_since_epoch(system_clock::now());
  const auto now = now_ms();
  EXPECT_GE(now, before);
  EXPECT_GT(now, 1700000000000u);
}

}  // namespace
}  // namespace update
