#include "platform/detail/system_box.hpp"

#include <cstdio>
#include <string>

#include "platform/message_box.hpp"

namespace platform {

BoxAnswer show_system_box(const BoxSpec& box, void*) {
  const std::string line = message_box_line(box) + "\n";
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
  return default_box_answer(box);
}

}  // namespace platform
