#include "setup/window/page_message.hpp"

#include <array>
#include <utility>

#include "platform/text.hpp"

namespace setup {

namespace {

constexpr std::array<std::pair<std::string_view, PageMessage>, 7> message_names = {{
    {"ready", PageMessage::Ready},
    {"open", PageMessage::Open},
    {"close", PageMessage::Close},
    {"minimize", PageMessage::Minimize},
    {"retry", PageMessage::Retry},
    {"details", PageMessage::Details},
    {"drag", PageMessage::Drag},
}};

// Moves `pos` past Unicode white space; answers the next code point (or
// nothing at the end) and leaves `pos` just after it.
std::optional<char32_t> next_after_space(std::string_view text, std::size_t& pos) {
  while (pos < text.size()) {
    const char32_t c = platform::next_code_point(text, pos);
    if (!platform::is_unicode_whitespace(c)) return c;
  }
  return std::nullopt;
}

}  // namespace

std::optional<PageMessage> parse_page_message_type(std::string_view json) {
  constexpr std::string_view key = "\"type\"";
  const std::size_t at = json.find(key);
  if (at == std::string_view::npos) return std::nullopt;
  std::size_t pos = at + key.size();
  if (next_after_space(json, pos) != U':') return std::nullopt;
  if (next_after_space(json, pos) != U'"') return std::nullopt;
  const std::size_t end = json.find('"', pos);
  if (end == std::string_view::npos) return std::nullopt;
  const std::string_view value = json.substr(pos, end - pos);
  for (const auto& [name, message] : message_names) {
    if (value == name) return message;
  }
  return std::nullopt;
}

}  // namespace setup
