#include "setup/common/message_boxes.hpp"

#include <fmt/format.h>

#include "morvane/config.hpp"
#include "platform/message_box.hpp"

namespace setup {

std::string success_caption() { return std::string(config::product_name); }

std::string failure_caption() { return fmt::format("{} \u2014 not done", config::product_name); }

void show_message_box(std::string_view caption, std::string_view body, bool is_error) {
  platform::show_message_box(platform::BoxSpec{
      .caption = std::string(caption),
      .text = std::string(body),
      .icon = is_error ? platform::BoxIcon::Error : platform::BoxIcon::Information,
  });
}

}  // namespace setup
