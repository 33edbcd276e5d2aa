#include "update/json/json_list.hpp"

#include "update/json/json_messages.hpp"
#include "update/json/json_unexpected.hpp"

namespace update::json {

tl::expected<bool, JsonError> next_element(Cursor& cursor, bool& first) {
  auto byte = cursor.skip_whitespace();
  if (!byte) return tl::unexpected(cursor.peek_error(msg::kEofList));
  if (*byte == ']') return false;
  if (*byte == ',' && !first) {
    cursor.eat();
    byte = cursor.skip_whitespace();
  } else if (first) {
    first = false;
  } else {
    return tl::unexpected(cursor.peek_error(msg::kExpectedListCommaOrEnd));
  }
  if (!byte) return tl::unexpected(cursor.peek_error(msg::kEofValue));
  if (*byte == ']') return tl::unexpected(cursor.peek_error(msg::kTrailingComma));
  return true;
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
