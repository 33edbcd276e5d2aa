// Records the message boxes shown while it lives instead of showing them.
#pragma once

#include <vector>

#include "platform/message_box.hpp"

namespace setup_test {

class BoxRecorder {
 public:
  BoxRecorder()
      : previous_(platform::set_message_box_handler([this](const platform::BoxSpec& box) {
          boxes.push_back(box);
        })) {}
  ~BoxRecorder() { platform::set_message_box_handler(std::move(previous_)); }
  BoxRecorder(const BoxRecorder&) = delete;
  BoxRecorder& operator=(const BoxRecorder&) = delete;

  std::vector<platform::BoxSpec> boxes;

 private:
  platform::MessageBoxHandler previous_;
};

}  // namespace setup_test
