// What the tests of each system's window layer share: running the loop with a
// limit, and what each system's test does its own way: finding and answering
// the message box that is open, and closing a window from outside as the
// user would.
#pragma once

#include <chrono>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "platform/window.hpp"

namespace platform_test {

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

// A message box open on the screen, as the system shows it.
struct OpenBox {
  std::string caption;
  std::string text;
  // The window it is modal over, as the layer's native_handle() gives it.
  void* owner = nullptr;
};

// The message box of this thread that is open now, if there is one
// (defined by each system's layer test).
std::optional<OpenBox> find_open_box();

// Dismisses that box with its Yes button (defined by each system's layer
// test).
void press_yes_on_open_box();

// Asks the system to close the main window, as the user would from outside
// the page, and whether the window is still shown (defined by each system's
// layer test).
void request_close_from_outside(platform::MainWindow& window);
bool is_shown(platform::MainWindow& window);

}  // namespace platform_test
