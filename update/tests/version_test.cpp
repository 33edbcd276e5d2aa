#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "update/records/version.hpp"

namespace update {
namespace {

TEST(ParseVersion, FollowsTheThreePieceSyntax) {
  struct Case {
    std::string text;
    std::optional<Version> expected;
  };
  const Case cases[] = {
      {"1.2.3", Version{1, 2, 3}},
      {"0.0.0", Version{0, 0, 0}},
      {"01.002.3", Version{1, 2, 3}},
      {"1.2.3+", Version{1, 2, 3}},
      {"1.2.3+build+x", Version{1, 2, 3}},
      {"1.2.3+ anything . at all", Version{1, 2, 3}},
      {"4294967295.0.0", Version{4294967295u, 0, 0}},
      {"0.4294967295.00004294967295", Version{0, 4294967295u, 4294967295u}},
      {"4294967296.0.0", std::nullopt},
      {"0.0.99999999999999999999", std::nullopt},
      {"1.2", std::nullopt},
      {"1.2.3.4", std::nullopt},
      {"1.2.3.", std::nullopt},
      {"1..3", std::nullopt},
      {".1.2", std::nullopt},
      {"+1.2.3", std::nullopt},
      {"-1.2.3", std::nullopt},
      {"v1.2.3", std::nullopt},
      {" 1.2.3", std::nullopt},
      {"1.2.3 ", std::nullopt},
      {"1.2.3-beta", std::nullopt},
      {"1.2. 3", std::nullopt},
      {"1.2.\xD9\xA3", std::nullopt},  // an Arabic-Indic digit is no ASCII digit
      {"", std::nullopt},
      {"+", std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(parse_version(c.text), c.expected);
  }
}

TEST(Version, ComparesPartByPartAsNumbers) {
  const auto v = [](const char* text) { return parse_version(text).value(); };
  EXPECT_GT(v("1.10.0"), v("1.9.9"));
  EXPECT_GT(v("2.0.0"), v("1.99.99"));
  EXPECT_LT(v("1.2.3"), v("1.2.4"));
  EXPECT_EQ(v("1.2.3+a"), v("1.2.3+b"));
  EXPECT_EQ(v("01.2.3"), v("1.2.3"));
  EXPECT_GT(v("4294967295.0.0"), v("4294967294.4294967295.4294967295"));
}

}  // namespace
}  // namespace update
