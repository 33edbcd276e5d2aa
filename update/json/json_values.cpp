#include "update/json/json_values.hpp"

#include <limits>
#include <variant>

#include "update/json/json_messages.hpp"
#include "update/json/json_number.hpp"
#include "update/json/json_string.hpp"
#include "update/json/json_unexpected.hpp"

namespace update::json {

namespace {

// The number ahead, or the refusal of whatever else is there as not
// `expected`.
tl::expected<Number, JsonError> number_ahead(Cursor& cursor, std::string_view expected) {
  const auto byte = cursor.skip_whitespace();
  if (!byte) return tl::unexpected(cursor.peek_error(msg::kEofValue));
  if (*byte == '-' || (*byte >= '0' && *byte <= '9')) return read_number(cursor);
  return tl::unexpected(invalid_type_here(cursor, expected));
}

}  // namespace

Status read_text(Cursor& cursor, std::string& out) {
  const auto byte = cursor.skip_whitespace();
  if (!byte) return tl::unexpected(cursor.peek_error(msg::kEofValue));
  if (*byte != '"') return tl::unexpected(invalid_type_here(cursor, "a string"));
  cursor.eat();
  auto text = read_string(cursor);
  if (!text) return tl::unexpected(std::move(text.error()));
  out = std::move(*text);
  return {};
}

Status read_signed(Cursor& cursor, std::int64_t& out) {
  constexpr std::string_view kExpected = "i64";
  const auto number = number_ahead(cursor, kExpected);
  if (!number) return tl::unexpected(number.error());
  if (const auto* value = std::get_if<std::uint64_t>(&*number)) {
    if (*value > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
      return tl::unexpected(cursor.error(invalid_value(describe_number(*number), kExpected)));
    }
    out = static_cast<std::int64_t>(*value);
    return {};
  }
  if (const auto* value = std::get_if<std::int64_t>(&*number)) {
    out = *value;
    return {};
  }
  return tl::unexpected(cursor.error(invalid_type(describe_number(*number), kExpected)));
}

Status read_unsigned(Cursor& cursor, std::uint64_t& out) {
  constexpr std::string_view kExpected = "u64";
  const auto number = number_ahead(cursor, kExpected);
  if (!number) return tl::unexpected(number.error());
  if (const auto* value = std::get_if<std::uint64_t>(&*number)) {
    out = *value;
    return {};
  }
  if (std::holds_alternative<std::int64_t>(*number)) {
    return tl::unexpected(cursor.error(invalid_value(describe_number(*number), kExpected)));
  }
  return tl::unexpected(cursor.error(invalid_type(describe_number(*number), kExpected)));
}

tl::expected<bool, JsonError> read_null(Cursor& cursor) {
  if (cursor.skip_whitespace() != 'n') return false;
  cursor.eat();
  if (auto ok = cursor.ident("ull"); !ok) return tl::unexpected(ok.error());
  return true;
}

}  // namespace update::json
