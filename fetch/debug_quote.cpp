#include "fetch/debug_quote.hpp"

#include <fmt/format.h>

#include "platform/text.hpp"

namespace fetch {

namespace {

struct Range {
  char32_t first;
  char32_t last;
};

// Code points that are not printed as they are: controls, format characters,
// separators other than the blank, private use, surrogates and noncharacters,
// and the unassigned planes.
constexpr Range kNotPrintable[] = {
    {0x0000, 0x001F}, {0x007F, 0x009F}, {0x00AD, 0x00AD}, {0x034F, 0x034F}, {0x061C, 0x061C},
    {0x115F, 0x1160}, {0x17B4, 0x17B5}, {0x180B, 0x180F}, {0x200B, 0x200F}, {0x2028, 0x202E},
    {0x2060, 0x206F}, {0x3164, 0x3164}, {0xD800, 0xF8FF}, {0xFDD0, 0xFDEF}, {0xFE00, 0xFE0F},
    {0xFEFF, 0xFEFF}, {0xFFA0, 0xFFA0}, {0xFFF0, 0xFFFB}, {0xFFFE, 0xFFFF}, {0x1BCA0, 0x1BCA3},
    {0x1D173, 0x1D17A}, {0xE0000, 0xE0FFF}, {0xF0000, 0x10FFFF},
};

}  // namespace

bool is_printable(char32_t cp) {
  if ((cp & 0xFFFE) == 0xFFFE) return false;  // the last two of every plane
  for (const auto& range : kNotPrintable) {
    if (cp >= range.first && cp <= range.last) return false;
  }
  return true;
}

std::string debug_quote(std::string_view text) {
  return platform::quote_code_points(text, [](std::string& out, char32_t cp) {
    switch (cp) {
      case U'"': out += "\\\""; return true;
      case U'\\': out += "\\\\"; return true;
      case U'\t': out += "\\t"; return true;
      case U'\r': out += "\\r"; return true;
      case U'\n': out += "\\n"; return true;
      case U'\0': out += "\\0"; return true;
      default:
        if (is_printable(cp)) return false;
        out += fmt::format("\\u{{{:x}}}", static_cast<std::uint32_t>(cp));
        return true;
    }
  });
}

}  // namespace fetch
