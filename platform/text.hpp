// Text conversions at the edge of the system, and the few Unicode facts that
// the program's own text handling needs.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// The text in UTF-16 followed by one 0 unit, as every Windows call that takes
// text wants it. Invalid UTF-8 becomes U+FFFD.
std::u16string to_wide(std::string_view utf8);

// UTF-16 back to UTF-8 (unpaired surrogates become U+FFFD); a trailing 0 unit,
// if any, is dropped.
std::string from_wide(std::u16string_view utf16);

// The bytes as UTF-8, every invalid sequence replaced by U+FFFD.
std::string utf8_lossy(std::string_view bytes);

// True when the bytes are valid UTF-8.
bool is_valid_utf8(std::string_view bytes);

// Decodes the code point at `pos` and advances `pos`; an invalid sequence
// yields U+FFFD and advances by one byte.
char32_t next_code_point(std::string_view text, std::size_t& pos);

// Appends the UTF-8 form of a code point.
void append_utf8(std::string& out, char32_t code_point);

// Writes the escaped form of one code point of a quoted text and answers
// true, or answers false to have the code point written as it is.
using EscapeFn = bool (*)(std::string& out, char32_t code_point);

// The text between double quotes, each code point as `escape` writes it or,
// where it declines, in UTF-8. An invalid UTF-8 byte comes as U+FFFD.
std::string quote_code_points(std::string_view text, EscapeFn escape);

// Unicode White_Space.
bool is_unicode_whitespace(char32_t code_point);

// The text with Unicode white space removed from both ends.
std::string_view trim_unicode(std::string_view text);

// The letter in lower case when it is an ASCII capital; any other byte as
// it is.
constexpr char ascii_lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// The text with its ASCII capitals in lower case; every other byte kept.
std::string ascii_lower(std::string_view text);

// True when both texts are the same but for the case of ASCII letters.
bool equals_ignoring_ascii_case(std::string_view a, std::string_view b);

}  // namespace platform
