// PowerShell's single-quoted strings: what goes between the quotes, and how
// PowerShell reads a script's string back.
#include <optional>
#include <string>
#include <string_view>

#include <gtest/gtest.h>

#include "platform/powershell_quotes.hpp"

namespace {

TEST(PowershellQuotes, EachOfTheFiveQuotesIsDoubledAndNothingElse) {
  const struct {
    std::string text;
    std::string body;
  } cases[] = {
      {"", ""},
      {"C:\\Users\\Zoë Ångström-Ōta 李", "C:\\Users\\Zoë Ångström-Ōta 李"},
      {"C:\\Users\\it's", "C:\\Users\\it''s"},
      {"C:\\Users\\O’Brien", "C:\\Users\\O’’Brien"},
      {"‘a’ ‚b‛", "‘‘a’’ ‚‚b‛‛"},
      {"''", "''''"},
      {"a\"b `$x ‟ ′", "a\"b `$x ‟ ′"},  // double quotes, backticks and primes are no single quotes
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(platform::powershell_single_quoted_body(c.text), c.body);
  }
}

TEST(PowershellQuotes, AStringIsReadAsPowershellReadsIt) {
  const struct {
    std::string script;
    std::optional<std::string> read;
    std::string rest;
  } cases[] = {
      {"'C:\\x'; rest", "C:\\x", "; rest"},
      {"'it''s'", "it's", ""},
      // Any of the five opens and ends the string.
      {"‘O’Brien'", "O", "Brien'"},
      {"’x‛)", "x", ")"},
      // A quote followed by another stands for the second.
      {"'O’’Brien'", "O’Brien", ""},
      {"'a’'b'", "a'b", ""},
      {"'a'’b'", "a’b", ""},
      {"''", "", ""},
      // No opening quote, or no end.
      {"x'y'", std::nullopt, "x'y'"},
      {"\"y\"", std::nullopt, "\"y\""},
      {"'never ends", std::nullopt, "'never ends"},
      {"'ends in a doubled quote''", std::nullopt, "'ends in a doubled quote''"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.script);
    std::string_view text = c.script;
    EXPECT_EQ(platform::read_powershell_single_quoted(text), c.read);
    EXPECT_EQ(text, c.rest);
  }
}

TEST(PowershellQuotes, WhatIsWrittenBetweenQuotesReadsBackAsItWas) {
  for (const std::string text : {"", "plain", "C:\\Users\\O’Brien & Co ^x\\it's", "‘’‚‛'", "'’"}) {
    SCOPED_TRACE(text);
    std::string script = "'";
    script += platform::powershell_single_quoted_body(text);
    script += "' and on";
    std::string_view rest = script;
    EXPECT_EQ(platform::read_powershell_single_quoted(rest), text);
    EXPECT_EQ(rest, " and on");
  }
}

}  // namespace
