#include "update/json/json_cursor.hpp"

#include <algorithm>
#include <string>

#include "update/json/json_messages.hpp"

namespace update::json {

std::optional<std::uint8_t> Cursor::skip_whitespace() {
  while (index_ < input_.size()) {
    switch (input_[index_]) {
      case ' ':
      case '\n':
      case '\t':
      case '\r':
        ++index_;
        break;
      default:
        return input_[index_];
    }
  }
  return std::nullopt;
}

JsonError Cursor::at(std::size_t index, std::string_view message) const {
  const auto consumed = input_.first(index);
  const auto last_newline = std::find(consumed.rbegin(), consumed.rend(), '\n');
  const std::size_t line_start = static_cast<std::size_t>(consumed.rend() - last_newline);
  const auto lines_before = std::count(consumed.begin(), consumed.begin() + line_start, '\n');
  return JsonError{std::string(message), static_cast<std::size_t>(lines_before) + 1,
                   index - line_start};
}

JsonError Cursor::error(std::string_view message) const { return at(index_, message); }

JsonError Cursor::peek_error(std::string_view message) const {
  return at(std::min(index_ + 1, input_.size()), message);
}

JsonError Cursor::place(JsonError error) const {
  if (error.has_position()) return error;
  auto placed = at(index_, "");
  placed.message = std::move(error.message);
  return placed;
}

Status Cursor::ident(std::string_view rest) {
  for (const char expected : rest) {
    const auto byte = next();
    if (!byte) return tl::unexpected(error(msg::kEofValue));
    if (*byte != static_cast<std::uint8_t>(expected)) return tl::unexpected(error(msg::kExpectedIdent));
  }
  return {};
}

Status Cursor::colon() {
  const auto byte = skip_whitespace();
  if (!byte) return tl::unexpected(peek_error(msg::kEofObject));
  if (*byte != ':') return tl::unexpected(peek_error(msg::kExpectedColon));
  eat();
  return {};
}

Status Cursor::descend() {
  if (--remaining_depth_ == 0) return tl::unexpected(peek_error(msg::kRecursionLimit));
  return {};
}

Status Cursor::finish() {
  if (skip_whitespace()) return tl::unexpected(peek_error(msg::kTrailingCharacters));
  return {};
}

}  // namespace update::json
