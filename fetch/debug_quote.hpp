// Debug quoting: a text between double quotes with its special characters
// escaped, as error sentences show a text that came from outside.
#pragma once

#include <string>
#include <string_view>

namespace fetch {

// The text between double quotes. A backslash goes before a double quote or a
// backslash; tab, carriage return, line feed and NUL are written as \t, \r, \n
// and \0; any other control or non-printable character as \u{hex} (lower-case
// hexadecimal); every other character as it is. Invalid UTF-8 bytes count as
// U+FFFD, which is printable.
std::string debug_quote(std::string_view text);

// True when debug quoting writes the code point as it is.
bool is_printable(char32_t code_point);

}  // namespace fetch
