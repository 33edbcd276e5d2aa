#include "update/json/json_string.hpp"

#include <cstdint>
#include <optional>

#include "platform/text.hpp"
#include "update/json/json_messages.hpp"

namespace update::json {

namespace {

// Bytes that end a run of plain string content.
bool is_special(std::uint8_t byte) { return byte == '"' || byte == '\\' || byte < 0x20; }

// Consumes the run of plain bytes ahead, appending them when `out` is given.
void take_plain_run(Cursor& cursor, std::string* out) {
  const auto rest = cursor.rest();
  std::size_t length = 0;
  while (length < rest.size() && !is_special(rest[length])) ++length;
  if (out) out->append(platform::text_view(rest.first(length)));
  cursor.advance(length);
}

std::optional<std::uint16_t> hex_value(std::uint8_t byte) {
  if (byte >= '0' && byte <= '9') return static_cast<std::uint16_t>(byte - '0');
  if (byte >= 'a' && byte <= 'f') return static_cast<std::uint16_t>(byte - 'a' + 10);
  if (byte >= 'A' && byte <= 'F') return static_cast<std::uint16_t>(byte - 'A' + 10);
  return std::nullopt;
}

// The four hexadecimal digits after `\u`. All four are consumed before they
// are judged; fewer than four left means the input ends inside the string.
tl::expected<std::uint16_t, JsonError> hex_escape(Cursor& cursor) {
  const auto rest = cursor.rest();
  if (rest.size() < 4) {
    cursor.advance_to_end();
    return tl::unexpected(cursor.error(msg::kEofString));
  }
  cursor.advance(4);
  std::uint16_t value = 0;
  for (std::size_t i = 0; i < 4; ++i) {
    const auto digit = hex_value(rest[i]);
    if (!digit) return tl::unexpected(cursor.error(msg::kInvalidEscape));
    value = static_cast<std::uint16_t>(value << 4 | *digit);
  }
  return value;
}

bool is_leading_surrogate(std::uint16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool is_trailing_surrogate(std::uint16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// Consumes one byte that must be `expected` inside a surrogate pair.
Status pair_byte(Cursor& cursor, std::uint8_t expected) {
  const auto byte = cursor.next();
  if (!byte) return tl::unexpected(cursor.error(msg::kEofString));
  if (*byte != expected) return tl::unexpected(cursor.error(msg::kUnexpectedEndOfHexEscape));
  return {};
}

// The code point of a `\u` escape whose `u` is consumed; a leading surrogate
// takes its trailing half from the `\u` escape that must follow it.
tl::expected<char32_t, JsonError> unicode_escape(Cursor& cursor) {
  const auto first = hex_escape(cursor);
  if (!first) return tl::unexpected(first.error());
  if (is_trailing_surrogate(*first)) return tl::unexpected(cursor.error(msg::kLoneLeadingSurrogate));
  if (!is_leading_surrogate(*first)) return char32_t{*first};
  if (auto ok = pair_byte(cursor, '\\'); !ok) return tl::unexpected(ok.error());
  if (auto ok = pair_byte(cursor, 'u'); !ok) return tl::unexpected(ok.error());
  const auto second = hex_escape(cursor);
  if (!second) return tl::unexpected(second.error());
  if (!is_trailing_surrogate(*second)) return tl::unexpected(cursor.error(msg::kLoneLeadingSurrogate));
  return static_cast<char32_t>(0x10000 + ((*first - 0xD800) << 10) + (*second - 0xDC00));
}

// One escape after its backslash, appended to `out` when given. Skipping
// checks only the escape's form, not the code point it names.
Status escape(Cursor& cursor, std::string* out) {
  const auto letter = cursor.next();
  if (!letter) return tl::unexpected(cursor.error(msg::kEofString));
  char plain;
  switch (*letter) {
    case '"': plain = '"'; break;
    case '\\': plain = '\\'; break;
    case '/': plain = '/'; break;
    case 'b': plain = '\b'; break;
    case 'f': plain = '\f'; break;
    case 'n': plain = '\n'; break;
    case 'r': plain = '\r'; break;
    case 't': plain = '\t'; break;
    case 'u': {
      if (!out) {
        const auto unit = hex_escape(cursor);
        if (!unit) return tl::unexpected(unit.error());
        return {};
      }
      const auto code_point = unicode_escape(cursor);
      if (!code_point) return tl::unexpected(code_point.error());
      platform::append_utf8(*out, *code_point);
      return {};
    }
    default:
      return tl::unexpected(cursor.error(msg::kInvalidEscape));
  }
  if (out) out->push_back(plain);
  return {};
}

// Walks the string to its closing quote, collecting it into `out` when given.
Status scan(Cursor& cursor, std::string* out) {
  for (;;) {
    take_plain_run(cursor, out);
    const auto byte = cursor.next();
    if (!byte) return tl::unexpected(cursor.error(msg::kEofString));
    if (*byte == '"') return {};
    if (*byte != '\\') return tl::unexpected(cursor.error(msg::kControlCharacter));
    if (auto ok = escape(cursor, out); !ok) return ok;
  }
}

}  // namespace

tl::expected<std::string, JsonError> read_string(Cursor& cursor) {
  std::string text;
  if (auto ok = scan(cursor, &text); !ok) return tl::unexpected(ok.error());
  if (!platform::is_valid_utf8(text)) return tl::unexpected(cursor.error(msg::kInvalidCodePoint));
  return text;
}

Status skip_string(Cursor& cursor) { return scan(cursor, nullptr); }

}  // namespace update::json
