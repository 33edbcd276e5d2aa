// Modal message boxes.
//
// On Windows a box is MessageBoxW with the OK button. Here, until the window
// layer shows real boxes, a box is one line on standard error:
//   [<caption>] (<icon>) <text>
// with line breaks in the text written as "\n". Tests can put a handler of
// their own in place to see which boxes were shown.
#pragma once

#include <functional>
#include <string>

namespace platform {

enum class BoxIcon { Information, Error };

struct MessageBox {
  std::string caption;
  std::string text;
  BoxIcon icon = BoxIcon::Information;
};

// Shows the box and returns when it has been dismissed.
void show_message_box(const MessageBox& box);

// The one line that stands for a box on standard error, without its line end.
std::string message_box_line(const MessageBox& box);

// Replaces how boxes are shown (an empty function restores the default) and
// returns the previous handler. For tests.
using MessageBoxHandler = std::function<void(const MessageBox&)>;
MessageBoxHandler set_message_box_handler(MessageBoxHandler handler);

}  // namespace platform
