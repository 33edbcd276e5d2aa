// JSON strings: read with their escapes resolved, or passed over.
#pragma once

#include <string>

#include <tl/expected.hpp>

#include "update/json/json_cursor.hpp"

namespace update::json {

// Reads a string whose opening quote is consumed, up to and including its
// closing quote. The text must come out as valid UTF-8, and a \u escape of a
// surrogate must be one half of a proper pair.
tl::expected<std::string, JsonError> read_string(Cursor& cursor);

// Passes over a string whose opening quote is consumed. Escapes must be well
// formed, but what they stand for is not checked, nor is the text's UTF-8.
Status skip_string(Cursor& cursor);

}  // namespace update::json
