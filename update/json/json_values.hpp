// The reader's scalar fields: texts, signed and unsigned 64-bit integers,
// and the null of a field that may hold nothing.
#pragma once

#include <cstdint>
#include <string>

#include <tl/expected.hpp>

#include "update/json/json_cursor.hpp"

namespace update::json {

// A JSON string, escapes resolved.
Status read_text(Cursor& cursor, std::string& out);

// A JSON integer within the signed 64-bit range.
Status read_signed(Cursor& cursor, std::int64_t& out);

// A JSON integer from 0 to 2^64 - 1.
Status read_unsigned(Cursor& cursor, std::uint64_t& out);

// Consumes a `null` ahead and says so; anything else is left for the value's
// own reader.
tl::expected<bool, JsonError> read_null(Cursor& cursor);

}  // namespace update::json
