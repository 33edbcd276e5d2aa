// PowerShell's single-quoted strings, in UTF-8 text.
//
// PowerShell takes five characters for the single quote: the apostrophe and
// the four typographic ones U+2018 to U+201B (‘ ’ ‚ ‛). Any of them opens a
// single-quoted string and any of them ends it; inside, a quote followed by
// another stands for that second one. So a text goes inside single quotes
// safely with each of the five written twice. The setup program writes such
// strings for powershell's shortcut script; the programs that stand in for
// powershell in tests read them as PowerShell does.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

inline constexpr std::array<std::string_view, 5> powershell_single_quotes = {"'", "\u2018", "\u2019", "\u201A",
                                                                             "\u201B"};

// The length of the single quote that `text` begins with, 0 when it begins
// with none.
inline std::size_t powershell_quote_at(std::string_view text) {
  for (std::string_view quote : powershell_single_quotes) {
    if (text.substr(0, quote.size()) == quote) return quote.size();
  }
  return 0;
}

// The text with each of the five single quotes doubled, to go between two
// single quotes.
inline std::string powershell_single_quoted_body(std::string_view text) {
  std::string quoted;
  while (!text.empty()) {
    const std::size_t quote = powershell_quote_at(text);
    if (quote > 0) quoted.append(text.substr(0, quote));
    const std::size_t taken = quote > 0 ? quote : 1;
    quoted.append(text.substr(0, taken));
    text.remove_prefix(taken);
  }
  return quoted;
}

// Reads the single-quoted string that `text` begins with, as PowerShell
// does, and moves `text` past it; none (and `text` unchanged) when it begins
// with no quote or the string has no end.
inline std::optional<std::string> read_powershell_single_quoted(std::string_view& text) {
  std::string_view rest = text;
  const std::size_t opening = powershell_quote_at(rest);
  if (opening == 0) return std::nullopt;
  rest.remove_prefix(opening);
  std::string out;
  while (!rest.empty()) {
    const std::size_t quote = powershell_quote_at(rest);
    if (quote == 0) {
      out.push_back(rest.front());
      rest.remove_prefix(1);
      continue;
    }
    rest.remove_prefix(quote);
    const std::size_t second = powershell_quote_at(rest);
    if (second == 0) {
      text = rest;
      return out;
    }
    out.append(rest.substr(0, second));
    rest.remove_prefix(second);
  }
  return std::nullopt;
}

}  // namespace platform
