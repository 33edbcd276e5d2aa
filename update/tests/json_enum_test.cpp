// Enumerations of values without data: read by name or as a one-key object.
#include <gtest/gtest.h>

#include <string>

#include "update/tests/json_test_records.hpp"

namespace update::testing {
namespace {

TEST(JsonEnum, ReadsNamesAndOneKeyObjects) {
  struct Case {
    std::string input;
    Kind expected;
  };
  const Case cases[] = {
      {R"("apply")", Kind::Apply},
      {R"("rollback")", Kind::Rollback},
      {R"({"rollback":null})", Kind::Rollback},
      {" { \"apply\" : null } ", Kind::Apply},
      {R"("\u0061pply")", Kind::Apply},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.input);
    const auto kind = json::parse_json<Kind>(platform::byte_view(c.input));
    ASSERT_TRUE(kind) << kind.error().display();
    EXPECT_EQ(*kind, c.expected);
  }
  const auto heading = json::parse_json<Heading>(platform::byte_view(R"({"west":null})"));
  ASSERT_TRUE(heading);
  EXPECT_EQ(*heading, Heading::West);
}

TEST(JsonEnum, RefusesOtherValues) {
  struct Case {
    std::string input;
    std::string expected;
  };
  const Case cases[] = {
      {R"("Apply")", "unknown variant `Apply`, expected `apply` or `rollback` at line 1 column 7"},
      {R"("")", "unknown variant ``, expected `apply` or `rollback` at line 1 column 2"},
      {R"({"nope":null})", "unknown variant `nope`, expected `apply` or `rollback` at line 1 column 7"},
      {R"({"apply":1})", "invalid type: integer `1`, expected unit at line 1 column 10"},
      {R"({"apply":"x"})", "invalid type: string \"x\", expected unit at line 1 column 12"},
      {R"({"apply":{}})", "invalid type: map, expected unit at line 1 column 9"},
      {R"({"apply":})", "expected value at line 1 column 10"},
      {R"({"apply":null,"x":1})", "expected value at line 1 column 13"},
      {R"({"apply":null)", "EOF while parsing an object at line 1 column 13"},
      {R"({"apply":)", "EOF while parsing a value at line 1 column 9"},
      {R"({"apply" null})", "expected `:` at line 1 column 10"},
      {R"({"apply")", "EOF while parsing an object at line 1 column 8"},
      {"{}", "expected value at line 1 column 2"},
      {"{", "EOF while parsing a value at line 1 column 1"},
      {"{5:null}", "invalid type: integer `5`, expected variant identifier at line 1 column 2"},
      {"{null:null}", "invalid type: null, expected variant identifier at line 1 column 5"},
      {"5", "expected value at line 1 column 1"},
      {"null", "expected value at line 1 column 1"},
      {"[\"apply\"]", "expected value at line 1 column 1"},
      {"", "EOF while parsing a value at line 1 column 0"},
      {R"("apply" "x")", "trailing characters at line 1 column 9"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.input);
    EXPECT_EQ(read_outcome<Kind>(c.input), c.expected);
  }
  EXPECT_EQ(read_outcome<Heading>(R"("up")"),
            "unknown variant `up`, expected one of `north`, `east`, `south`, `west` at line 1 column 4");
}

TEST(JsonEnum, ReadsInsideRecords) {
  const auto order = json::parse_json<Order>(platform::byte_view(R"(["rollback",{"west":null}])"));
  ASSERT_TRUE(order) << order.error().display();
  EXPECT_EQ(order->kind, Kind::Rollback);
  EXPECT_EQ(order->heading, Heading::West);
  // The unknown name is reported after it, not where the record closes.
  EXPECT_EQ(read_outcome<Order>(R"({"kind":"apply","heading":"up"})"),
            "unknown variant `up`, expected one of `north`, `east`, `south`, `west` at line 1 column 30");
}

}  // namespace
}  // namespace update::testing
