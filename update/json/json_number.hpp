// JSON numbers: read as an unsigned or signed integer or a float, or passed
// over.
#pragma once

#include <cstdint>
#include <variant>

#include <tl/expected.hpp>

#include "update/json/json_cursor.hpp"

namespace update::json {

// What a number reads as: a non-negative integer within 64 bits, a negative
// one within the signed 64-bit range, or else a float (so are -0, anything
// with a fraction or an exponent, and integers beyond those ranges).
using Number = std::variant<std::uint64_t, std::int64_t, double>;

// Reads the number that starts at the cursor (a `-` or a digit).
tl::expected<Number, JsonError> read_number(Cursor& cursor);

// Passes over the number that starts at the cursor, checking only its form.
Status skip_number(Cursor& cursor);

}  // namespace update::json
