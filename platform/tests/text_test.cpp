#include <gtest/gtest.h>

#include <string>

#include "platform/text.hpp"

namespace {

using platform::from_wide;
using platform::to_wide;

struct WideCase {
  const char* name;
  std::string utf8;
  std::u16string wide;  // without the terminating 0
};

class ToWide : public testing::TestWithParam<WideCase> {};

TEST_P(ToWide, ConvertsAndEndsWithOneZeroUnit) {
  const auto& c = GetParam();
  std::u16string expected = c.wide;
  expected.push_back(u'\0');
  EXPECT_EQ(to_wide(c.utf8), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ToWide,
    testing::Values(WideCase{"empty", "", u""}, WideCase{"ascii", "Local\\MORVANE.setup", u"Local\\MORVANE.setup"},
                    WideCase{"em_dash", "Morvane \xE2\x80\x94 not done", u"Morvane \u2014 not done"},
                    WideCase{"ellipsis", "installer\xE2\x80\xA6", u"installer\u2026"},
                    WideCase{"persian_with_zwnj", "\xD9\x86\xDB\x8C\xD9\x85\xE2\x80\x8C\xDA\xA9\xD8\xA7\xD8\xB1\xD9\x87",
                             u"\u0646\u06CC\u0645\u200C\u06A9\u0627\u0631\u0647"},
                    WideCase{"supplementary_plane", "\xF0\x9F\x93\x88", u"\xD83D\xDCC8"},
                    WideCase{"invalid_byte", "a\xFF" "b", u"a\uFFFDb"},
                    WideCase{"truncated_sequence", "a\xE2\x80", u"a\uFFFD"},
                    WideCase{"encoded_surrogate", "\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FromWide, RoundTripsAndReplacesLoneSurrogates) {
  EXPECT_EQ(from_wide(to_wide("Morvane \xE2\x80\x94 \xF0\x9F\x93\x88")), "Morvane \xE2\x80\x94 \xF0\x9F\x93\x88");
  EXPECT_EQ(from_wide(std::u16string(u"a") + char16_t(0xD800) + u"b"), "a\xEF\xBF\xBD" "b");
}

TEST(Utf8Lossy, ReplacesEachInvalidSequenceOnce) {
  EXPECT_EQ(platform::utf8_lossy("ok"), "ok");
  EXPECT_EQ(platform::utf8_lossy("a\xFF" "b"), "a\xEF\xBF\xBD" "b");
  // A truncated three-byte sequence is one maximal subpart: one replacement.
  EXPECT_EQ(platform::utf8_lossy("a\xE2\x80" "b"), "a\xEF\xBF\xBD" "b");
  EXPECT_TRUE(platform::is_valid_utf8("\xE2\x80\x94"));
  EXPECT_FALSE(platform::is_valid_utf8("\xC0\xAF"));  // overlong
}

TEST(UnicodeWhitespace, TrimsEveryKindAtBothEnds) {
  EXPECT_EQ(platform::trim_unicode(" \t\xC2\xA0x y\xE3\x80\x80\n"), "x y");
  EXPECT_EQ(platform::trim_unicode("   "), "");
  // A zero-width non-joiner is not white space.
  EXPECT_EQ(platform::trim_unicode("\xE2\x80\x8Cx"), "\xE2\x80\x8Cx");
}

TEST(AsciiCase, FoldsAsciiCapitalsAlone) {
  // Capitals, the bytes beside the letter range, and a UTF-8 capital that
  // stays as it is.
  EXPECT_EQ(platform::ascii_lower("HKCU\\Software@[Z]`{\xC3\x84}"), "hkcu\\software@[z]`{\xC3\x84}");
  EXPECT_EQ(platform::ascii_lower(""), "");
  EXPECT_TRUE(platform::equals_ignoring_ascii_case("ProxyServer", "proxyserver"));
  EXPECT_FALSE(platform::equals_ignoring_ascii_case("\xC3\x84", "\xC3\xA4"));
  EXPECT_FALSE(platform::equals_ignoring_ascii_case("proxy", "proxy "));
}

}  // namespace
