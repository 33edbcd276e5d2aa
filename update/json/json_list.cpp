#include "update/json/json_list.hpp"

#include "update/json/json_messages.hpp"
#include "update/json/json_unexpected.hpp"

namespace update::json {

tl::expected<bool, JsonError> next_member(Cursor& cursor, bool& first, const Separators& separators) {
  auto byte = cursor.skip_whitespace();
  if (!byte) return tl::unexpected(cursor.peek_error(separators.eof));
  if (*byte == separators.close) return false;
  if (*byte == ',' && !first) {
    cursor.eat();
    byte = cursor.skip_whitespace();
  } else if (first) {
    first = false;
  } else {
    return tl::unexpected(cursor.peek_error(separators.comma_or_close));
  }
  if (!byte) return tl::unexpected(cursor.peek_error(msg::kEofValue));
  if (*byte == separators.close) return tl::unexpected(cursor.peek_error(msg::kTrailingComma));
  return true;
}

tl::expected<bool, JsonError> next_element(Cursor& cursor, bool& first) {
  return next_member(cursor, first, {']', msg::kEofList, msg::kExpectedListCommaOrEnd});
}

Status end_list(Cursor& cursor) {
  const auto byte = cursor.skip_whitespace();
  if (!byte) return tl::unexpected(cursor.peek_error(msg::kEofList));
  if (*byte == ']') {
    cursor.eat();
    return {};
  }
  if (*byte == ',') {
    cursor.eat();
    if (cursor.skip_whitespace() == ']') return tl::unexpected(cursor.peek_error(msg::kTrailingComma));
  }
  return tl::unexpected(cursor.peek_error(msg::kTrailingCharacters));
}

Status open_list(Cursor& cursor, std::string_view expected) {
  const auto byte = cursor.skip_whitespace();
  if (!byte) return tl::unexpected(cursor.peek_error(msg::kEofValue));
  if (*byte != '[') return tl::unexpected(invalid_type_here(cursor, expected));
  if (auto ok = cursor.descend(); !ok) return ok;
  cursor.eat();
  return {};
}

Status close_list(Cursor& cursor, Status elements) {
  cursor.ascend();
  auto end = end_list(cursor);
  if (!elements) return tl::unexpected(cursor.place(std::move(elements.error())));
  return end;
}

}  // namespace update::json
