// Fields that may hold nothing, lists of records and records within records,
// read through the Order test record.
#include <gtest/gtest.h>

#include <string>

#include "update/tests/json_test_records.hpp"

namespace update::testing {
namespace {

// An Order with its two required fields, then `members` before the close.
// `members` starts at column 33.
std::string order_with(std::string_view members) {
  return R"({"kind":"apply","heading":"east")" + std::string(members) + "}";
}

TEST(JsonFields, GiveDefaultsToAbsentOrNullOptionalFields) {
  struct Case {
    std::string input;
    Order expected;
  };
  const Order bare{Kind::Apply, Heading::East, std::nullopt, {}, std::nullopt};
  auto with_note = [&](std::optional<std::string> note) {
    auto order = bare;
    order.note = std::move(note);
    return order;
  };
  auto with_extra = [&](Sample extra) {
    auto order = bare;
    order.extra = std::move(extra);
    return order;
  };
  auto with_samples = [&](std::vector<Sample> samples) {
    auto order = bare;
    order.samples = std::move(samples);
    return order;
  };
  const Case cases[] = {
      {order_with(""), bare},
      {order_with(R"(,"note":null)"), bare},
      {order_with(R"(,"note":"")"), with_note("")},
      {order_with(R"(,"note":"x")"), with_note("x")},
      {order_with(R"(,"extra":null)"), bare},
      {order_with(R"(,"extra":[1,"a"])"), with_extra({1, "a"})},
      {order_with(R"(,"extra":{"name":"a","size":1})"), with_extra({1, "a"})},
      {order_with(R"(,"samples":[])"), bare},
      {order_with(R"(,"samples":[[1,"a"],{"size":2,"name":"b"}])"), with_samples({{1, "a"}, {2, "b"}})},
      // The array form may stop where only fields that may be absent remain.
      {R"(["apply","east"])", bare},
      {R"(["apply","east","x"])", with_note("x")},
      {R"(["apply","east",null,[],null])", bare},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.input);
    const auto order = json::parse_json<Order>(platform::byte_view(c.input));
    ASSERT_TRUE(order) << order.error().display();
    EXPECT_EQ(*order, c.expected);
  }
}

TEST(JsonFields, RefuseWrongValuesInOptionalFieldsAndLists) {
  struct Case {
    std::string input;
    std::string expected;
  };
  const Case cases[] = {
      // A repeated optional field is refused even when it first was null.
      {order_with(R"(,"note":null,"note":"x")"), "duplicate field `note` at line 1 column 51"},
      {order_with(R"(,"note":5)"), "invalid type: integer `5`, expected a string at line 1 column 41"},
      {order_with(R"(,"note":nul)"), "expected ident at line 1 column 44"},
      {order_with(R"(,"extra":5)"), "invalid type: integer `5`, expected struct Sample at line 1 column 42"},
      {order_with(R"(,"extra":"s")"), "invalid type: string \"s\", expected struct Sample at line 1 column 44"},
      {order_with(R"(,"extra":[1])"), "invalid length 1, expected struct Sample with 2 elements at line 1 column 44"},
      // A list that may be absent may not be null.
      {order_with(R"(,"samples":null)"), "invalid type: null, expected a sequence at line 1 column 47"},
      {order_with(R"(,"samples":{})"), "invalid type: map, expected a sequence at line 1 column 43"},
      {order_with(R"(,"samples":5)"), "invalid type: integer `5`, expected a sequence at line 1 column 44"},
      {order_with(R"(,"samples":[[1,"a"],])"), "trailing comma at line 1 column 53"},
      {order_with(R"(,"samples":[[1,"a"] [2,"b"]])"), "expected `,` or `]` at line 1 column 53"},
      {R"({"kind":"apply","heading":"east","samples":[)", "EOF while parsing a list at line 1 column 44"},
      // An element's own error keeps its place: here the element's close,
      // not the list's or the order's.
      {order_with(R"(,"samples":[{"size":1}])"), "missing field `name` at line 1 column 54"},
      {R"(["apply"])", "invalid length 1, expected struct Order with 5 elements at line 1 column 9"},
      {R"(["apply","east",null,[],null,1])", "trailing characters at line 1 column 30"},
      {R"({"heading":"east"})", "missing field `kind` at line 1 column 18"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.input);
    EXPECT_EQ(read_outcome<Order>(c.input), c.expected);
  }
}

TEST(JsonFields, ReadListsAtTheTop) {
  const auto samples = json::parse_json<std::vector<Sample>>(platform::byte_view(R"( [ [1,"a"] , [2,"b"] ] )"));
  ASSERT_TRUE(samples) << samples.error().display();
  EXPECT_EQ(*samples, (std::vector<Sample>{{1, "a"}, {2, "b"}}));
  EXPECT_EQ(read_outcome<std::vector<Sample>>("null"), "invalid type: null, expected a sequence at line 1 column 4");
  EXPECT_EQ(read_outcome<std::vector<Sample>>("[] []"), "trailing characters at line 1 column 4");
}

}  // namespace
}  // namespace update::testing
