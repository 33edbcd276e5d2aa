// The loop of the system's window layer, the same on every system: posted
// work, a quit asked for before the loop runs, a fault that a callback
// throws, the timer inside the nested loop of a box owned by the main window,
// and a close asked for from outside. Each system's own cases are in
// posix/window_layer_test.cpp and win/window_layer_test.cpp.
#include <stdexcept>
#include <vector>

#include <gtest/gtest.h>

#include "platform/message_box.hpp"
#include "platform/tests/window_layer_shared.hpp"

namespace platform_test {
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

TEST_F(WindowLayerLoop, TheTimerTicksInsideABoxOwnedByTheMainWindowAndAQuitFromThereEndsTheLoopAfterIt) {
  auto window = layer->create_main_window({"Morvane Setup", {880, 540}, {0xFB, 0xF8, 0xF1}});
  if (!window) GTEST_SKIP() << "needs a display";
  window->show();
  int ticks_during_box = 0;
  bool box_open = false;
  std::optional<OpenBox> seen;
  std::optional<platform::BoxAnswer> answer;
  auto timer = layer->start_timer(100ms, [&] {
    if (!box_open || ++ticks_during_box != 5) return;
    seen = find_open_box();
    layer->quit_loop();  // asked for inside the box's own loop
    press_yes_on_open_box();
  });
  layer->post([&] {
    box_open = true;
    answer = platform::ask_message_box({.caption = "Morvane Setup",
                                        .text = "Stop installing Morvane? Nothing will be installed.",
                                        .icon = platform::BoxIcon::Question,
                                        .buttons = platform::BoxButtons::YesNo},
                                       window->native_handle());
    box_open = false;
  });
  run_loop_for_at_most(*layer, 10s);
  EXPECT_EQ(ticks_during_box, 5);
  EXPECT_EQ(answer, platform::BoxAnswer::Yes);
  ASSERT_TRUE(seen) << "no box was open";
  EXPECT_EQ(seen->caption, "Morvane Setup");
  EXPECT_EQ(seen->text, "Stop installing Morvane? Nothing will be installed.");
  EXPECT_EQ(seen->owner, window->native_handle());
  EXPECT_FALSE(find_open_box());
}

TEST_F(WindowLayerLoop, ACloseRequestFromOutsideGoesToTheHandlerAndLeavesTheWindow) {
  auto window = layer->create_main_window({"Morvane Setup", {880, 540}, {0xFB, 0xF8, 0xF1}});
  if (!window) GTEST_SKIP() << "needs a display";
  window->show();
  int requests = 0;
  window->on_close_request([&] {
    ++requests;
    layer->quit_loop();
  });
  layer->post([&] { request_close_from_outside(*window); });
  run_loop_for_at_most(*layer, 5s);
  EXPECT_EQ(requests, 1);
  EXPECT_TRUE(is_shown(*window));
}

}  // namespace
}  // namespace platform_test
