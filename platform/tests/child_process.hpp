// What the process and mutex tests share: the path of the test child
// (test_child.hpp) as they start it, and waiting for what it does.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include "platform/path.hpp"
#include "testkit/host_tools.hpp"

namespace platform_test {

inline std::string test_child() { return platform::display(testkit::build_path(MORVANE_TEST_CHILD)); }

// True once `done` answers true, asked at most `tries` times, `pause` apart.
inline bool eventually(const std::function<bool()>& done, int tries = 200,
                       std::chrono::milliseconds pause = std::chrono::milliseconds(50)) {
  for (int i = 0; i < tries; ++i) {
    if (done()) return true;
    std::this_thread::sleep_for(pause);
  }
  return false;
}

}  // namespace platform_test
