#include "update/json/json_record.hpp"

#include <bitset>
#include <optional>
#include <string>

#include <fmt/format.h>

#include "update/json/json_list.hpp"
#include "update/json/json_messages.hpp"
#include "update/json/json_skip.hpp"
#include "update/json/json_string.hpp"
#include "update/json/json_unexpected.hpp"

namespace update::json {

namespace {

// Steps to the next key of an object whose `{` is consumed and reads it;
// none when the `}` is next.
tl::expected<std::optional<std::string>, JsonError> next_key(Cursor& cursor, bool& first) {
  auto more = next_member(cursor, first, {'}', msg::kEofObject, msg::kExpectedObjectCommaOrEnd});
  if (!more) return tl::unexpected(std::move(more.error()));
  if (!*more) return std::nullopt;
  if (cursor.peek() != '"') return tl::unexpected(cursor.peek_error(msg::kKeyMustBeString));
  cursor.eat();
  return read_string(cursor);
}

// Ends an object after its members: the `}` must come next.
Status end_object(Cursor& cursor) {
  const auto byte = cursor.skip_whitespace();
  if (!byte) return tl::unexpected(cursor.peek_error(msg::kEofObject));
  if (*byte == '}') {
    cursor.eat();
    return {};
  }
  if (*byte == ',') return tl::unexpected(cursor.peek_error(msg::kTrailingComma));
  return tl::unexpected(cursor.peek_error(msg::kTrailingCharacters));
}

std::optional<std::size_t> field_index(const RecordShape& shape, std::string_view key) {
  for (std::size_t i = 0; i < shape.fields.size(); ++i) {
    if (shape.fields[i].name == key) return i;
  }
  return std::nullopt;
}

// The members of an object form, the `{` consumed, up to its `}`.
Status read_object_form(Cursor& cursor, const RecordShape& shape, void* record) {
  std::bitset<RecordShape::kMaxFields> seen;
  bool first = true;
  for (;;) {
    const auto key = next_key(cursor, first);
    if (!key) return tl::unexpected(key.error());
    if (!*key) break;
    const auto index = field_index(shape, **key);
    if (!index) {
      if (auto ok = cursor.colon(); !ok) return ok;
      if (auto ok = skip_value(cursor); !ok) return ok;
      continue;
    }
    // A repeated key is refused before its colon, whatever the first value was.
    if (seen[*index]) return tl::unexpected(JsonError{fmt::format("duplicate field `{}`", **key)});
    seen[*index] = true;
    if (auto ok = cursor.colon(); !ok) return ok;
    if (auto ok = shape.fields[*index].read(cursor, record); !ok) return ok;
  }
  for (std::size_t i = 0; i < shape.fields.size(); ++i) {
    if (shape.fields[i].required && !seen[i]) {
      return tl::unexpected(JsonError{fmt::format("missing field `{}`", shape.fields[i].name)});
    }
  }
  return {};
}

// The values of an array form, the `[` consumed, in declared order. The array
// may stop early where only fields that may be absent remain.
Status read_array_form(Cursor& cursor, const RecordShape& shape, void* record) {
  bool first = true;
  bool ended = false;
  for (std::size_t i = 0; i < shape.fields.size(); ++i) {
    if (!ended) {
      const auto more = next_element(cursor, first);
      if (!more) return tl::unexpected(more.error());
      ended = !*more;
    }
    if (!ended) {
      if (auto ok = shape.fields[i].read(cursor, record); !ok) return ok;
    } else if (shape.fields[i].required) {
      return tl::unexpected(JsonError{fmt::format("invalid length {}, expected struct {} with {} elements",
                                                  i, shape.name, shape.fields.size())});
    }
  }
  return {};
}

}  // namespace

Status read_record(Cursor& cursor, const RecordShape& shape, void* record) {
  const auto byte = cursor.skip_whitespace();
  if (!byte) return tl::unexpected(cursor.peek_error(msg::kEofValue));
  if (*byte != '[' && *byte != '{') {
    return tl::unexpected(invalid_type_here(cursor, fmt::format("struct {}", shape.name)));
  }
  const bool as_array = *byte == '[';
  if (auto ok = cursor.descend(); !ok) return ok;
  cursor.eat();
  auto members = as_array ? read_array_form(cursor, shape, record) : read_object_form(cursor, shape, record);
  cursor.ascend();
  // The end is stepped over even after a failure, so that the record's own
  // refusals (missing, repeated or too few fields) stand after its close.
  auto end = as_array ? end_list(cursor) : end_object(cursor);
  if (!members) return tl::unexpected(cursor.place(std::move(members.error())));
  return end;
}

}  // namespace update::json
