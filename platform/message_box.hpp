// Modal message boxes.
//
// On Windows a box is MessageBoxW. Here, while the window layer has a
// display, a box is one of its dialogs; otherwise it is one line on standard
// error:
//   [<caption>] (<icon>) <text>
// with line breaks in the text written as "\n" (a Yes/No box then counts as
// answered No, its default). Tests can put a handler of their own in place to
// see which boxes were shown, and to answer them.
#pragma once

#include <functional>
#include <string>

#include "platform/box_spec.hpp"

namespace platform {

// Shows the box with no owner and returns when it has been dismissed.
void show_message_box(const BoxSpec& box);

// Shows the box, owned by `owner` (the window layer's native window, or
// nullptr for a box of its own), and answers the button that dismissed it:
// Ok for an OK box, Yes or No for a Yes/No box.
BoxAnswer ask_message_box(const BoxSpec& box, void* owner = nullptr);

// The one line that stands for a box on standard error, without its line end.
std::string message_box_line(const BoxSpec& box);

// Replaces how boxes are shown (an empty function restores the default) and
// returns the previous handler. For tests: the handler sees every box; a
// Yes/No box that it sees counts as answered No.
using MessageBoxHandler = std::function<void(const BoxSpec&)>;
MessageBoxHandler set_message_box_handler(MessageBoxHandler handler);

// Like set_message_box_handler, for a handler that also answers. For tests;
// while one is in place it takes every box, before the handler above.
using BoxAnswerHandler = std::function<BoxAnswer(const BoxSpec&)>;
BoxAnswerHandler set_box_answer_handler(BoxAnswerHandler handler);

// How boxes are shown when no test handler is in place: the window layer puts
// its dialogs here while it has a display and takes them away when it
// closes. An empty presenter restores the line on standard error.
using BoxPresenter = std::function<BoxAnswer(const BoxSpec& box, void* owner)>;
BoxPresenter set_box_presenter(BoxPresenter presenter);

}  // namespace platform
