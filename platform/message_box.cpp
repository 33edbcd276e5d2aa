#include "platform/message_box.hpp"

#include <mutex>

#include <fmt/format.h>

#include "platform/detail/system_box.hpp"

namespace platform {

namespace {

std::mutex handler_mutex;
MessageBoxHandler current_handler;
BoxAnswerHandler current_answer_handler;
BoxPresenter current_presenter;

const char* icon_word(BoxIcon icon) {
  switch (icon) {
    case BoxIcon::Error:
      return "error";
    case BoxIcon::Question:
      return "question";
    case BoxIcon::Information:
      break;
  }
  return "information";
}

}  // namespace

std::string message_box_line(const BoxSpec& box) {
  std::string text;
  for (char c : box.text) {
    if (c == '\n') {
      text += "\\n";
    } else if (c != '\r') {
      text.push_back(c);
    }
  }
  return fmt::format("[{}] ({}) {}", box.caption, icon_word(box.icon), text);
}

BoxAnswer ask_message_box(const BoxSpec& box, void* owner) {
  BoxAnswerHandler answer_handler;
  MessageBoxHandler handler;
  BoxPresenter presenter;
  {
    std::lock_guard lock(handler_mutex);
    answer_handler = current_answer_handler;
    handler = current_handler;
    presenter = current_presenter;
  }
  // The handlers run without the lock: a box may run a nested loop in which
  // another box is shown.
  if (answer_handler) return answer_handler(box);
  if (handler) {
    handler(box);
    return default_box_answer(box);
  }
  if (presenter) return presenter(box, owner);
  return show_system_box(box, owner);
}

void show_message_box(const BoxSpec& box) { ask_message_box(box, nullptr); }

MessageBoxHandler set_message_box_handler(MessageBoxHandler handler) {
  std::lock_guard lock(handler_mutex);
  auto previous = std::move(current_handler);
  current_handler = std::move(handler);
  return previous;
}

BoxAnswerHandler set_box_answer_handler(BoxAnswerHandler handler) {
  std::lock_guard lock(handler_mutex);
  auto previous = std::move(current_answer_handler);
  current_answer_handler = std::move(handler);
  return previous;
}

BoxPresenter set_box_presenter(BoxPresenter presenter) {
  std::lock_guard lock(handler_mutex);
  auto previous = std::move(current_presenter);
  current_presenter = std::move(presenter);
  return previous;
}

}  // namespace platform
