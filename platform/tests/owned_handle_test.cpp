#include "platform/owned_handle.hpp"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace {

// Handles are small numbers; every close is recorded, so that a handle
// closed twice, or never, shows.
std::vector<int> closed;

struct RecordingTraits {
  using Value = int;
  static Value none() { return -1; }
  static bool is_open(Value value) { return value >= 0; }
  static void close(Value value) noexcept { closed.push_back(value); }
};

using Handle = platform::OwnedHandle<RecordingTraits>;

class OwnedHandleTest : public ::testing::Test {
 protected:
  void SetUp() override { closed.clear(); }
};

TEST_F(OwnedHandleTest, ClosesItsHandleOnceWhenItGoes) {
  { Handle handle(3); }
  { Handle none; }
  EXPECT_EQ(closed, std::vector<int>{3});
}

TEST_F(OwnedHandleTest, AMoveHandsTheHandleOverAndLeavesNone) {
  Handle from(4);
  Handle to(std::move(from));
  EXPECT_FALSE(from);
  ASSERT_TRUE(to);
  EXPECT_EQ(to.get(), 4);
  EXPECT_TRUE(closed.empty());
}

TEST_F(OwnedHandleTest, AMoveAssignmentClosesTheHandleItReplaces) {
  Handle kept(5);
  Handle replaced(6);
  replaced = std::move(kept);
  EXPECT_EQ(closed, std::vector<int>{6});
  EXPECT_EQ(replaced.get(), 5);
  EXPECT_FALSE(kept);
}

TEST_F(OwnedHandleTest, AssigningItselfKeepsTheHandleOpen) {
  Handle handle(7);
  Handle& same = handle;
  handle = std::move(same);
  EXPECT_TRUE(closed.empty());
  EXPECT_EQ(handle.get(), 7);
}

TEST_F(OwnedHandleTest, ResetClosesNowAndOnlyOnce) {
  Handle handle(8);
  handle.reset();
  handle.reset();
  EXPECT_FALSE(handle);
  EXPECT_EQ(closed, std::vector<int>{8});
}

TEST_F(OwnedHandleTest, ReleaseGivesTheHandleUpWithoutClosingIt) {
  Handle handle(9);
  EXPECT_EQ(handle.release(), 9);
  EXPECT_FALSE(handle);
  EXPECT_EQ(handle.get(), -1);
  EXPECT_TRUE(closed.empty());
}

}  // namespace
