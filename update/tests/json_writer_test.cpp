// The pretty writer driven by the same tables as the reader.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

#include "update/tests/json_test_records.hpp"

namespace update::testing {
namespace {

std::string written(const auto& value) {
  const auto text = json::to_json(value);
  EXPECT_TRUE(text) << text.error().display();
  return text.value_or("");
}

TEST(JsonWriter, WritesEveryFieldInDeclaredOrderWithTwoBlankIndentation) {
  const Order order{Kind::Rollback, Heading::West, "n", {{-5, "a"}, {7, "b"}}, Sample{1, "x"}};
  EXPECT_EQ(written(order),
            "{\n"
            "  \"kind\": \"rollback\",\n"
            "  \"heading\": \"west\",\n"
            "  \"note\": \"n\",\n"
            "  \"samples\": [\n"
            "    {\n"
            "      \"size\": -5,\n"
            "      \"name\": \"a\"\n"
            "    },\n"
            "    {\n"
            "      \"size\": 7,\n"
            "      \"name\": \"b\"\n"
            "    }\n"
            "  ],\n"
            "  \"extra\": {\n"
            "    \"size\": 1,\n"
            "    \"name\": \"x\"\n"
            "  }\n"
            "}");
}

TEST(JsonWriter, WritesAbsentValuesAsNullAndEmptyListsAsBrackets) {
  EXPECT_EQ(written(Order{}),
            "{\n"
            "  \"kind\": \"apply\",\n"
            "  \"heading\": \"north\",\n"
            "  \"note\": null,\n"
            "  \"samples\": [],\n"
            "  \"extra\": null\n"
            "}");
  EXPECT_EQ(written(std::vector<Sample>{}), "[]");
}

TEST(JsonWriter, WritesIntegersAtTheEndsOfTheirRanges) {
  EXPECT_EQ(written(Sized{std::numeric_limits<std::uint64_t>::max()}), "{\n  \"bytes\": 18446744073709551615\n}");
  EXPECT_EQ(written(Sample{std::numeric_limits<std::int64_t>::min(), ""}),
            "{\n  \"size\": -9223372036854775808,\n  \"name\": \"\"\n}");
}

TEST(JsonWriter, EscapesOnlyQuotesBackslashesAndControlCharacters) {
  const std::string text = std::string("q\"b\\s/\b\f\n\r\t\x01\x1f\x7f \xC3\xA9\xF0\x9F\x98\x80") + '\0';
  EXPECT_EQ(written(Note{text}),
            "{\n  \"text\": \"q\\\"b\\\\s/\\b\\f\\n\\r\\t\\u0001\\u001f\x7f \xC3\xA9\xF0\x9F\x98\x80\\u0000\"\n}");
}

TEST(JsonWriter, FailsOnTextThatIsNotUtf8) {
  for (const std::string bad : {"\xFF", "a\xC3", "\xED\xA0\x80"}) {
    const auto text = json::to_json(Order{Kind::Apply, Heading::North, std::nullopt, {{1, bad}}, std::nullopt});
    EXPECT_FALSE(text) << *text;
  }
}

TEST(JsonWriter, WritesWhatTheReaderReadsBack) {
  const Order orders[] = {
      Order{},
      Order{Kind::Rollback, Heading::South, "line\nbreak \"quoted\" \\ \x01", {{0, ""}, {-1, "\xF0\x9F\x98\x80"}},
            Sample{std::numeric_limits<std::int64_t>::max(), "x"}},
  };
  for (const auto& order : orders) {
    const auto text = json::to_json(order);
    ASSERT_TRUE(text);
    const auto back = json::parse_json<Order>(platform::byte_view(*text));
    ASSERT_TRUE(back) << back.error().display();
    EXPECT_EQ(*back, order);
  }
}

}  // namespace
}  // namespace update::testing
