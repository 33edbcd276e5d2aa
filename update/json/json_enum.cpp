#include "update/json/json_enum.hpp"

#include <fmt/format.h>

#include "update/json/json_messages.hpp"
#include "update/json/json_string.hpp"
#include "update/json/json_unexpected.hpp"

namespace update::json {

namespace {

// The variant's name, a string that must be one of the names.
tl::expected<std::size_t, JsonError> variant_name(Cursor& cursor, std::span<const std::string_view> names) {
  const auto byte = cursor.skip_whitespace();
  if (!byte) return tl::unexpected(cursor.peek_error(msg::kEofValue));
  if (*byte != '"') return tl::unexpected(invalid_type_here(cursor, "variant identifier"));
  cursor.eat();
  const auto text = read_string(cursor);
  if (!text) return tl::unexpected(text.error());
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (names[i] == *text) return i;
  }
  if (names.empty()) {
    return tl::unexpected(cursor.error(fmt::format("unknown variant `{}`, there are no variants", *text)));
  }
  return tl::unexpected(
      cursor.error(fmt::format("unknown variant `{}`, expected {}", *text, expected_variants(names))));
}

// The null that a variant without data holds in the object form.
Status unit_value(Cursor& cursor) {
  const auto byte = cursor.skip_whitespace();
  if (!byte) return tl::unexpected(cursor.peek_error(msg::kEofValue));
  if (*byte != 'n') return tl::unexpected(invalid_type_here(cursor, "unit"));
  cursor.eat();
  return cursor.ident("ull");
}

// The object form, the cursor before its `{`.
tl::expected<std::size_t, JsonError> variant_object(Cursor& cursor, std::span<const std::string_view> names) {
  if (auto ok = cursor.descend(); !ok) return tl::unexpected(ok.error());
  cursor.eat();
  const auto index = variant_name(cursor, names);
  if (!index) return index;
  if (auto ok = cursor.colon(); !ok) return tl::unexpected(ok.error());
  if (auto ok = unit_value(cursor); !ok) return tl::unexpected(ok.error());
  cursor.ascend();
  const auto byte = cursor.skip_whitespace();
  if (!byte) return tl::unexpected(cursor.error(msg::kEofObject));
  if (*byte != '}') return tl::unexpected(cursor.error(msg::kExpectedValue));
  cursor.eat();
  return index;
}

}  // namespace

tl::expected<std::size_t, JsonError> read_unit_variant(Cursor& cursor,
                                                       std::span<const std::string_view> names) {
  const auto byte = cursor.skip_whitespace();
  if (!byte) return tl::unexpected(cursor.peek_error(msg::kEofValue));
  if (*byte == '{') return variant_object(cursor, names);
  if (*byte == '"') return variant_name(cursor, names);
  return tl::unexpected(cursor.peek_error(msg::kExpectedValue));
}

std::string expected_variants(std::span<const std::string_view> names) {
  if (names.size() == 1) return fmt::format("`{}`", names[0]);
  if (names.size() == 2) return fmt::format("`{}` or `{}`", names[0], names[1]);
  std::string list = "one of ";
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (i > 0) list += ", ";
    list += fmt::format("`{}`", names[i]);
  }
  return list;
}

}  // namespace update::json
