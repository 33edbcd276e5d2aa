// Strings in fields: escapes, surrogate pairs, control characters and UTF-8.
#include <gtest/gtest.h>

#include <string>

#include "update/tests/json_test_records.hpp"

namespace update::testing {
namespace {

// The string literal as the value of the one field of a Note; the string
// starts at column 9.
std::string note_with(std::string_view literal) { return R"({"text":)" + std::string(literal) + "}"; }

TEST(JsonString, ResolvesEscapes) {
  struct Case {
    std::string literal;
    std::string text;
  };
  const Case cases[] = {
      {R"("plain")", "plain"},
      {R"("")", ""},
      {R"("a\"b\\c\/d")", "a\"b\\c/d"},
      {R"("\b\f\n\r\t")", "\b\f\n\r\t"},
      {R"("\u0041\u00e9\u20AC")", "A\xC3\xA9\xE2\x82\xAC"},
      {R"("\uD83D\uDE00")", "\xF0\x9F\x98\x80"},
      {R"("\ud83d\ude00!")", "\xF0\x9F\x98\x80!"},
      {R"("\u0000")", std::string(1, '\0')},
      {"\"\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\"", "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"},
      {"\"\x7F\"", "\x7F"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.literal);
    const auto note = json::parse_json<Note>(platform::byte_view(note_with(c.literal)));
    ASSERT_TRUE(note) << note.error().display();
    EXPECT_EQ(note->text, c.text);
  }
}

TEST(JsonString, RefusesBrokenStrings) {
  struct Case {
    std::string input;
    std::string expected;
  };
  const std::string control = "control character (\\u0000-\\u001F) found while parsing a string";
  const Case cases[] = {
      {note_with(R"("\uDE00")"), "lone leading surrogate in hex escape at line 1 column 15"},
      {note_with(R"("\uD83Dx")"), "unexpected end of hex escape at line 1 column 16"},
      {note_with(R"("\uD83D\n")"), "unexpected end of hex escape at line 1 column 17"},
      {note_with(R"("\uD83D\u0041")"), "lone leading surrogate in hex escape at line 1 column 21"},
      {note_with(R"("\uD83D\uD83D")"), "lone leading surrogate in hex escape at line 1 column 21"},
      {R"({"text":"\uD83D)", "EOF while parsing a string at line 1 column 15"},
      {R"({"text":"\uD83D\)", "EOF while parsing a string at line 1 column 16"},
      // All four digits are taken before they are judged...
      {note_with(R"("\u12")"), "invalid escape at line 1 column 15"},
      {note_with(R"("\u00G0")"), "invalid escape at line 1 column 15"},
      // ...and fewer than four left end the input inside the string.
      {R"({"text":"\u12)", "EOF while parsing a string at line 1 column 13"},
      {note_with(R"("\x")"), "invalid escape at line 1 column 11"},
      {note_with(R"("\U0041")"), "invalid escape at line 1 column 11"},
      {R"({"text":"\)", "EOF while parsing a string at line 1 column 10"},
      {R"({"text":"ab)", "EOF while parsing a string at line 1 column 11"},
      {note_with("\"a\tb\""), control + " at line 1 column 11"},
      {note_with("\"\x1F\""), control + " at line 1 column 10"},
      {note_with(std::string("\"\0\"", 3)), control + " at line 1 column 10"},
      // The line feed is consumed with the error, so it stands on the next line.
      {note_with("\"\n\""), control + " at line 2 column 0"},
      // The text must be UTF-8; that is judged at the closing quote.
      {note_with("\"\xFF\""), "invalid unicode code point at line 1 column 11"},
      {note_with("\"ab\xED\xA0\x80\""), "invalid unicode code point at line 1 column 15"},
      {note_with("\"\xC0\xAF\""), "invalid unicode code point at line 1 column 12"},
      {note_with("\"\xF4\x90\x80\x80\""), "invalid unicode code point at line 1 column 14"},
      {note_with("\"\xE2\x82\""), "invalid unicode code point at line 1 column 12"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.input);
    EXPECT_EQ(read_outcome<Note>(c.input), c.expected);
  }
}

TEST(JsonString, RefusesOtherValuesWhereATextIsExpected) {
  struct Case {
    std::string literal;
    std::string expected;
  };
  const Case cases[] = {
      {"5", "invalid type: integer `5`, expected a string at line 1 column 9"},
      {"-1.5", "invalid type: floating point `-1.5`, expected a string at line 1 column 12"},
      {"null", "invalid type: null, expected a string at line 1 column 12"},
      {"false", "invalid type: boolean `false`, expected a string at line 1 column 13"},
      {"[\"a\"]", "invalid type: sequence, expected a string at line 1 column 8"},
      {"{}", "invalid type: map, expected a string at line 1 column 8"},
      {"'a'", "expected value at line 1 column 9"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.literal);
    EXPECT_EQ(read_outcome<Note>(note_with(c.literal)), c.expected);
  }
}

}  // namespace
}  // namespace update::testing
