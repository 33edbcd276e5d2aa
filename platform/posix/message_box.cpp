#include "platform/message_box.hpp"

#include <cstdio>
#include <mutex>

#include <fmt/format.h>

namespace platform {

namespace {

std::mutex handler_mutex;
MessageBoxHandler current_handler;

void write_to_stderr(const MessageBox& box) {
  const std::string line = message_box_line(box) + "\n";
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
}

}  // namespace

std::string message_box_line(const MessageBox& box) {
  std::string text;
  for (char c : box.text) {
    if (c == '\n') {
      text += "\\n";
    } else if (c != '\r') {
      text.push_back(c);
    }
  }
  const char* icon = box.icon == BoxIcon::Error ? "error" : "information";
  return fmt::format("[{}] ({}) {}", box.caption, icon, text);
}

void show_message_box(const MessageBox& box) {
  MessageBoxHandler handler;
  {
    std::lock_guard lock(handler_mutex);
    handler = current_handler;
  }
  if (handler) {
    handler(box);
  } else {
    write_to_stderr(box);
  }
}

MessageBoxHandler set_message_box_handler(MessageBoxHandler handler) {
  std::lock_guard lock(handler_mutex);
  auto previous = std::move(current_handler);
  current_handler = std::move(handler);
  return previous;
}

}  // namespace platform
