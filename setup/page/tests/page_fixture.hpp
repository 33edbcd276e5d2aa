// The fixture of the engine tests: one window with one web view per test,
// showing the embedded setup page, with helpers that run the host's scripts
// and read the page back.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "setup/page/tests/page_window.hpp"

namespace page_test {

class PageTest : public ::testing::Test {
 protected:
  // Opens the window and loads the page; waits for its "ready" when the
  // bridge is installed.
  void open(PageWindowOptions options = {}) {
    const bool bridge = options.bridge;
    window_ = std::make_unique<PageWindow>(std::move(options));
    auto loaded = window_->load(embedded_page_text());
    ASSERT_TRUE(loaded) << loaded.error();
    if (bridge) {
      ASSERT_TRUE(window_->wait_for_messages(1)) << "the page posted nothing";
    }
  }

  PageWindow& window() { return *window_; }

  // Runs a script (a host call, or a question about the page); the answer
  // is the completion value as JSON.
  std::string run(std::string_view script) {
    auto result = window_->eval(script);
    EXPECT_TRUE(result) << script << ": " << result.error();
    return result ? *result : std::string();
  }

  // The completion value as text.
  std::string text(std::string_view script) {
    auto result = window_->eval_text(script);
    EXPECT_TRUE(result) << script << ": " << result.error();
    return result ? *result : std::string();
  }

  // The messages posted since the test began, after "ready".
  std::vector<std::string> messages_after_ready() {
    const auto& all = window_->messages();
    if (all.empty()) return {};
    return std::vector<std::string>(all.begin() + 1, all.end());
  }

  // The centre of the first element that the selector finds, in the view's
  // coordinates.
  struct Point {
    int x = 0;
    int y = 0;
  };
  Point centre_of(std::string_view selector) {
    const std::string s(selector);
    const std::string q = "document.querySelector('" + s + "').getBoundingClientRect()";
    Point p;
    p.x = std::stoi(text("Math.round(" + q + ".left + " + q + ".width / 2)"));
    p.y = std::stoi(text("Math.round(" + q + ".top + " + q + ".height / 2)"));
    return p;
  }

  // Lets input and scripts that are under way arrive.
  void settle() { window_->pump_for(milliseconds(300)); }

 private:
  std::unique_ptr<PageWindow> window_;
};

}  // namespace page_test
