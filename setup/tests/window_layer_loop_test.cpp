// The loop of the system's window layer, the same on every system: posted
// work, a quit asked for before the loop runs, and a fault that a callback
// throws.
#include <stdexcept>
#include <vector>

#include <gtest/gtest.h>

#include "setup/tests/window_layer_loop.hpp"

namespace setup_test {
namespace {

using namespace std::chrono_literals;

class WindowLayerLoop : public ::testing::Test {
 protected:
  std::unique_ptr<platform::WindowLayer> layer = platform::open_window_layer();
};

TEST_F(WindowLayerLoop, PostedWorkRunsFromTheLoopAndAQuitBeforeTheLoopEndsItAtOnce) {
  std::vector<int> order;
  layer->post([&] { order.push_back(1); });
  layer->quit_loop();
  layer->run_loop();  // returns at once: the quit came first
  EXPECT_TRUE(order.empty());
  layer->post([&] {
    order.push_back(2);
    layer->quit_loop();
  });
  run_loop_for_at_most(*layer, 5s);
  EXPECT_EQ(order, (std::vector<int>{1, 2}));
}

TEST_F(WindowLayerLoop, AFaultInACallbackComesOutOfTheLoop) {
  layer->post([] { throw std::runtime_error("out of a callback"); });
  try {
    layer->run_loop();
    ADD_FAILURE() << "the loop ended without the fault";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "out of a callback");
  }
}

}  // namespace
}  // namespace setup_test
