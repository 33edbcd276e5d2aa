// What the tests of each system's window layer share: running the loop with a
// limit.
#pragma once

#include <chrono>

#include <gtest/gtest.h>

#include "platform/window.hpp"

namespace setup_test {

// Runs the layer's loop until it is quit, or fails the test after `limit`.
inline void run_loop_for_at_most(platform::WindowLayer& layer, std::chrono::milliseconds limit) {
  bool timed_out = false;
  auto guard = layer.start_timer(limit, [&] {
    timed_out = true;
    layer.quit_loop();
  });
  layer.run_loop();
  EXPECT_FALSE(timed_out) << "the loop did not end in time";
}

}  // namespace setup_test
