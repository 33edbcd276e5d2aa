#include "update/json/json_number.hpp"

#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>

#include "update/json/json_messages.hpp"

namespace update::json {

namespace {

bool is_digit(std::optional<std::uint8_t> byte) { return byte && *byte >= '0' && *byte <= '9'; }

// What the scan of a number learnt on its way.
struct Shape {
  bool negative = false;
  std::uint64_t integer = 0;      // the integer part while it fits in 64 bits
  bool integer_overflow = false;  // the integer part did not fit
  bool is_float = false;          // a fraction or an exponent was written
  bool any_nonzero_digit = false;
  bool exponent_overflow = false;  // the exponent went past 32 bits (value 0)
};

// The number's syntax, consuming it. When `reading`, the messages at the end
// of the input and the range of the exponent are checked as a read needs.
tl::expected<Shape, JsonError> scan(Cursor& cursor, bool reading) {
  Shape shape;
  if (cursor.peek() == '-') {
    cursor.eat();
    shape.negative = true;
  }
  const auto first = cursor.next();
  if (!first) return tl::unexpected(cursor.error(reading ? msg::kEofValue : msg::kInvalidNumber));
  if (*first == '0') {
    if (is_digit(cursor.peek())) return tl::unexpected(cursor.peek_error(msg::kInvalidNumber));
  } else if (*first >= '1' && *first <= '9') {
    shape.any_nonzero_digit = true;
    shape.integer = *first - '0';
    for (auto byte = cursor.peek(); is_digit(byte); byte = cursor.peek()) {
      const std::uint64_t digit = *byte - '0';
      if (!shape.integer_overflow &&
          shape.integer > (std::numeric_limits<std::uint64_t>::max() - digit) / 10) {
        shape.integer_overflow = true;
      }
      if (!shape.integer_overflow) shape.integer = shape.integer * 10 + digit;
      cursor.eat();
    }
  } else {
    return tl::unexpected(cursor.error(msg::kInvalidNumber));
  }

  if (cursor.peek() == '.') {
    cursor.eat();
    shape.is_float = true;
    bool any_digit = false;
    for (auto byte = cursor.peek(); is_digit(byte); byte = cursor.peek()) {
      any_digit = true;
      if (*byte != '0') shape.any_nonzero_digit = true;
      cursor.eat();
    }
    if (!any_digit) {
      const bool at_end = !cursor.peek();
      return tl::unexpected(cursor.peek_error(reading && at_end ? msg::kEofValue : msg::kInvalidNumber));
    }
  }

  if (cursor.peek() == 'e' || cursor.peek() == 'E') {
    cursor.eat();
    shape.is_float = true;
    bool positive_exponent = true;
    if (cursor.peek() == '+' || cursor.peek() == '-') {
      positive_exponent = cursor.peek() == '+';
      cursor.eat();
    }
    const auto digit = cursor.next();
    if (!digit) return tl::unexpected(cursor.error(reading ? msg::kEofValue : msg::kInvalidNumber));
    if (!is_digit(digit)) return tl::unexpected(cursor.error(msg::kInvalidNumber));
    std::int32_t exponent = *digit - '0';
    for (auto byte = cursor.peek(); is_digit(byte); byte = cursor.peek()) {
      cursor.eat();
      const std::int32_t next = *byte - '0';
      if (reading && !shape.exponent_overflow &&
          exponent > (std::numeric_limits<std::int32_t>::max() - next) / 10) {
        // Past any float's range: too large is refused here and now, too
        // small (or a zero) is a zero.
        if (shape.any_nonzero_digit && positive_exponent) {
          return tl::unexpected(cursor.error(msg::kNumberOutOfRange));
        }
        shape.exponent_overflow = true;
      }
      if (!shape.exponent_overflow) exponent = exponent * 10 + next;
    }
  }
  return shape;
}

}  // namespace

tl::expected<Number, JsonError> read_number(Cursor& cursor) {
  const std::size_t start = cursor.index();
  const auto shape = scan(cursor, true);
  if (!shape) return tl::unexpected(shape.error());

  if (!shape->is_float && !shape->integer_overflow) {
    if (!shape->negative) return Number{shape->integer};
    // Two's-complement negation: only 1 ..= 2^63 come out negative, and so
    // fit the signed range; -0 and larger magnitudes become floats.
    const auto negated = static_cast<std::int64_t>(~shape->integer + 1);
    if (negated < 0) return Number{negated};
    return Number{-static_cast<double>(shape->integer)};
  }
  if (shape->exponent_overflow) return Number{shape->negative ? -0.0 : 0.0};

  const auto text = platform::text_view(cursor.input().subspan(start, cursor.index() - start));
  const std::string terminated(text);
  const double value = std::strtod(terminated.c_str(), nullptr);
  if (std::isinf(value)) return tl::unexpected(cursor.error(msg::kNumberOutOfRange));
  return Number{value};
}

Status skip_number(Cursor& cursor) {
  const auto shape = scan(cursor, false);
  if (!shape) return tl::unexpected(shape.error());
  return {};
}

}  // namespace update::json
