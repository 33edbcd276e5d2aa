// How errors describe a value that is not what the reader expected.
#pragma once

#include <string>
#include <string_view>

#include "update/json/json_cursor.hpp"
#include "update/json/json_number.hpp"

namespace update::json {

// A float written out in full, never with an exponent, from the shortest
// digits that read back as the same value (zeros fill in the rest), with
// ".0" when it would have no decimal point: `1.0`, `-0.0`, `0.0000001`,
// and 2^64 as `18446744073709552000.0`.
std::string format_float(double value);

// "integer `5`", "integer `-5`" or "floating point `1.5`".
std::string describe_number(const Number& number);

// "invalid type: <found>, expected <expected>"
std::string invalid_type(std::string_view found, std::string_view expected);
// "invalid value: <found>, expected <expected>"
std::string invalid_value(std::string_view found, std::string_view expected);

// Refuses the value ahead of the cursor (whitespace skipped, input not at its
// end) as the wrong type for `expected`. A scalar (null, a boolean, a number
// or a string) is read first and the error placed after it; an array or an
// object is described without being consumed. A scalar that does not read, or
// a byte that starts no value, gives that error instead.
JsonError invalid_type_here(Cursor& cursor, std::string_view expected);

}  // namespace update::json
