#include "update/json/json_unexpected.hpp"

#include <array>
#include <charconv>

#include <fmt/format.h>

#include "fetch/debug_quote.hpp"
#include "platform/overloaded.hpp"
#include "update/json/json_messages.hpp"
#include "update/json/json_string.hpp"

namespace update::json {

namespace {

// The description of the scalar or container ahead, or the error met while
// reading the scalar.
tl::expected<std::string, JsonError> describe_here(Cursor& cursor) {
  switch (*cursor.peek()) {
    case 'n':
      cursor.eat();
      return cursor.ident("ull").map([] { return std::string("null"); });
    case 't':
      cursor.eat();
      return cursor.ident("rue").map([] { return std::string("boolean `true`"); });
    case 'f':
      cursor.eat();
      return cursor.ident("alse").map([] { return std::string("boolean `false`"); });
    case '"':
      cursor.eat();
      return read_string(cursor).map(
          [](const std::string& text) { return fmt::format("string {}", fetch::debug_quote(text)); });
    case '[':
      return std::string("sequence");
    case '{':
      return std::string("map");
    case '-':
    case '0': case '1': case '2': case '3': case '4':
    case '5': case '6': case '7': case '8': case '9':
      return read_number(cursor).map(describe_number);
    default:
      return tl::unexpected(cursor.peek_error(msg::kExpectedValue));
  }
}

}  // namespace

std::string format_float(double value) {
  // The shortest digits that read back as the same value, and their
  // exponent: d.ddde±x.
  std::array<char, 64> buffer{};
  const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                    std::chars_format::scientific);
  const std::string_view scientific(buffer.data(), static_cast<std::size_t>(result.ptr - buffer.data()));
  const auto e = scientific.find('e');
  std::string_view mantissa = scientific.substr(0, e);
  int exponent = 0;
  std::from_chars(scientific.data() + e + 1 + (scientific[e + 1] == '+'), scientific.data() + scientific.size(),
                  exponent);

  std::string text;
  if (mantissa.front() == '-') {
    text.push_back('-');
    mantissa.remove_prefix(1);
  }
  std::string digits;
  for (const char c : mantissa) {
    if (c != '.') digits.push_back(c);
  }
  // Written out in full: zeros pad the digits up to the point, or between the
  // point and the digits.
  const int count = static_cast<int>(digits.size());
  if (exponent >= count - 1) {
    text += digits;
    text.append(static_cast<std::size_t>(exponent - (count - 1)), '0');
  } else if (exponent >= 0) {
    text += digits.substr(0, static_cast<std::size_t>(exponent) + 1);
    text.push_back('.');
    text += digits.substr(static_cast<std::size_t>(exponent) + 1);
  } else {
    text += "0.";
    text.append(static_cast<std::size_t>(-exponent - 1), '0');
    text += digits;
  }
  if (text.find('.') == std::string::npos) text += ".0";
  return text;
}

std::string describe_number(const Number& number) {
  return std::visit(platform::Overloaded{
                        [](std::uint64_t value) { return fmt::format("integer `{}`", value); },
                        [](std::int64_t value) { return fmt::format("integer `{}`", value); },
                        [](double value) { return fmt::format("floating point `{}`", format_float(value)); },
                    },
                    number);
}

std::string invalid_type(std::string_view found, std::string_view expected) {
  return fmt::format("invalid type: {}, expected {}", found, expected);
}

std::string invalid_value(std::string_view found, std::string_view expected) {
  return fmt::format("invalid value: {}, expected {}", found, expected);
}

JsonError invalid_type_here(Cursor& cursor, std::string_view expected) {
  const auto found = describe_here(cursor);
  if (!found) return found.error();
  return cursor.error(invalid_type(*found, expected));
}

}  // namespace update::json
