#include "fetch/debug_quote.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace fetch {
namespace {

struct QuoteCase {
  std::string text;
  std::string quoted;
};

TEST(DebugQuoteTest, EscapesWhatCannotBeShownAsItIs) {
  const std::vector<QuoteCase> cases = {
      {"", "\"\""},
      {"https://host:8443/x", "\"https://host:8443/x\""},
      {"a\"b", "\"a\\\"b\""},
      {"a\\b", "\"a\\\\b\""},
      {"\t\r\n", "\"\\t\\r\\n\""},
      {std::string("a\0b", 3), "\"a\\0b\""},
      {"\x1b[0m", "\"\\u{1b}[0m\""},
      {"\x7f", "\"\\u{7f}\""},
      {"\xc2\x85", "\"\\u{85}\""},            // NEL, a C1 control
      {"a\u200cb", "\"a\\u{200c}b\""},        // zero-width non-joiner, a format character
      {"\u2028", "\"\\u{2028}\""},            // line separator
      {"a — b…", "\"a — b…\""},              // em dash and ellipsis kept
      {"راهنما", "\"راهنما\""},
      {"caf\xc3\xa9 ", "\"café \""},
      {"\xff", "\"\xef\xbf\xbd\""},           // an invalid byte shows as U+FFFD
  };
  for (const auto& c : cases) {
    EXPECT_EQ(debug_quote(c.text), c.quoted) << c.quoted;
  }
}

}  // namespace
}  // namespace fetch
