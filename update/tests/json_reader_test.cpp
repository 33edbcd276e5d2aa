// The record reader: both forms of a record, the refusals of the record
// itself, the syntax around it, and the positions that errors report.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "update/tests/json_test_records.hpp"

namespace update::testing {
namespace {

struct Case {
  std::string input;
  std::string expected;  // "ok" or the error's display text
};

void expect_outcomes(const std::vector<Case>& cases) {
  for (const auto& c : cases) {
    SCOPED_TRACE(c.input);
    EXPECT_EQ(read_outcome<Sample>(c.input), c.expected);
  }
}

TEST(JsonReader, ReadsBothFormsWithTheSameValues) {
  const Sample expected{7, "n"};
  for (const std::string_view input : {
           R"({"size":7,"name":"n"})",
           R"({"name":"n","size":7})",
           " \t\r\n{ \"size\" : 7 ,\n \"name\" : \"n\" } \n",
           R"([7,"n"])",
           " [ 7 , \"n\" ] ",
           R"({"extra":{"a":[1,{"b":null}],"c":"x"},"size":7,"other":[],"name":"n"})",
           R"({"\u0073ize":7,"na\u006de":"n"})",
       }) {
    SCOPED_TRACE(input);
    const auto result = json::parse_json<Sample>(platform::byte_view(input));
    ASSERT_TRUE(result) << result.error().display();
    EXPECT_EQ(*result, expected);
  }
}

TEST(JsonReader, RefusesMissingAndRepeatedFieldsWhereTheRecordSaysSo) {
  expect_outcomes({
      // A repeat is caught right after its key, before the colon...
      {R"({"size":1,"name":"n","size":2})", "duplicate field `size` at line 1 column 27"},
      // ...after any whitespace that follows the key.
      {R"({"size":1,"size"  :2})", "duplicate field `size` at line 1 column 18"},
      {R"({"name":"a","name":"b"})", "duplicate field `name` at line 1 column 18"},
      // A missing field is reported where the object closes: the first
      // missing one in declared order.
      {R"({"name":"n"})", "missing field `size` at line 1 column 12"},
      {R"({"size":1})", "missing field `name` at line 1 column 10"},
      {"{}", "missing field `size` at line 1 column 2"},
      {"{  }", "missing field `size` at line 1 column 4"},
      {R"({"other":1})", "missing field `size` at line 1 column 11"},
      // Array form: too few values name the first index that has none.
      {"[]", "invalid length 0, expected struct Sample with 2 elements at line 1 column 2"},
      {"[1]", "invalid length 1, expected struct Sample with 2 elements at line 1 column 3"},
      {"[1 ]", "invalid length 1, expected struct Sample with 2 elements at line 1 column 4"},
      {R"([1,"n",2])", "trailing characters at line 1 column 8"},
      {R"([1,"n" , 2])", "trailing characters at line 1 column 10"},
  });
}

TEST(JsonReader, RefusesBrokenObjectAndArraySyntax) {
  expect_outcomes({
      {R"({"size":1 "name":"n"})", "expected `,` or `}` at line 1 column 11"},
      {R"({"size":1,})", "trailing comma at line 1 column 11"},
      {"{,}", "key must be a string at line 1 column 2"},
      {R"({"size":1,5:1})", "key must be a string at line 1 column 11"},
      {R"({"size" 1})", "expected `:` at line 1 column 9"},
      {R"({"size")", "EOF while parsing an object at line 1 column 7"},
      {R"({"size":1)", "EOF while parsing an object at line 1 column 9"},
      {R"({"size":1,)", "EOF while parsing a value at line 1 column 10"},
      {R"({"size":)", "EOF while parsing a value at line 1 column 8"},
      {"{", "EOF while parsing an object at line 1 column 1"},
      {"[", "EOF while parsing a list at line 1 column 1"},
      {"[1,", "EOF while parsing a value at line 1 column 3"},
      {R"([1,"n")", "EOF while parsing a list at line 1 column 6"},
      {R"([1,"n",)", "trailing characters at line 1 column 7"},
      {R"([1,"n",])", "trailing comma at line 1 column 8"},
      {"[1,]", "trailing comma at line 1 column 4"},
      {R"([1 "n"])", "expected `,` or `]` at line 1 column 4"},
      {R"([,1,"n"])", "expected value at line 1 column 2"},
      {R"({"size":1,"name":"n"} {})", "trailing characters at line 1 column 23"},
      {R"({"size":1,"name":"n"}])", "trailing characters at line 1 column 22"},
  });
}

TEST(JsonReader, RefusesWhatIsNoRecord) {
  expect_outcomes({
      {"", "EOF while parsing a value at line 1 column 0"},
      {"   ", "EOF while parsing a value at line 1 column 3"},
      {"\xEF\xBB\xBF{\"size\":1,\"name\":\"n\"}", "expected value at line 1 column 1"},
      {"x", "expected value at line 1 column 1"},
      {"\f{}", "expected value at line 1 column 1"},
      {"null", "invalid type: null, expected struct Sample at line 1 column 4"},
      {"true", "invalid type: boolean `true`, expected struct Sample at line 1 column 4"},
      {" false", "invalid type: boolean `false`, expected struct Sample at line 1 column 6"},
      {R"("hi")", R"(invalid type: string "hi", expected struct Sample at line 1 column 4)"},
      {R"("a\"b\n")", R"(invalid type: string "a\"b\n", expected struct Sample at line 1 column 8)"},
      {"5", "invalid type: integer `5`, expected struct Sample at line 1 column 1"},
      {"-5", "invalid type: integer `-5`, expected struct Sample at line 1 column 2"},
      {"1.5", "invalid type: floating point `1.5`, expected struct Sample at line 1 column 3"},
      // A scalar that does not read gives its own error.
      {"nul", "EOF while parsing a value at line 1 column 3"},
      {"nulx", "expected ident at line 1 column 4"},
      {"1.", "EOF while parsing a value at line 1 column 2"},
      {R"("ab)", "EOF while parsing a string at line 1 column 3"},
  });
}

TEST(JsonReader, ReportsLinesAndColumnsOfMultiLineInput) {
  expect_outcomes({
      {"{\n  \"size\": 1\n}", "missing field `name` at line 3 column 1"},
      {"{\n  \"size\": 1,\n  \"name\": \"n\",\n  \"size\": 2\n}", "duplicate field `size` at line 4 column 8"},
      {"{\n  \"size\": 1,\n  \"name\": 5\n}", "invalid type: integer `5`, expected a string at line 3 column 11"},
      {"{\"size\":1,\"name\":\"n\"}\n\n", "ok"},
      {"{\"size\":1,\"name\":\"n\"}\n\nx", "trailing characters at line 3 column 1"},
      {"\n", "EOF while parsing a value at line 2 column 0"},
      {"{\r\n\"size\":1,\r\n}", "trailing comma at line 3 column 1"},
  });
}

TEST(JsonReader, PassesOverUnknownValuesOfAnyKind) {
  for (const std::string_view value : {
           "null", "true", "false", "0", "-0.5e+10", "12345678901234567890123", "1E5", R"("")",
           R"("\ud800 lone surrogates and \u00e9 pass")", "\"\xff bytes that are no UTF-8\"", "[]", "{}",
           "[[],{}]", R"({"a":{"b":[1,[2,{"c":"]"}]]}})", " [ 1 , { \"k\" : [ ] } ] ",
       }) {
    SCOPED_TRACE(value);
    const std::string input = std::string(R"({"other":)") + std::string(value) + R"(,"size":1,"name":"n"})";
    EXPECT_EQ(read_outcome<Sample>(input), "ok");
  }
}

TEST(JsonReader, PassesOverDeeplyNestedUnknownValues) {
  const std::size_t depth = 100000;
  const std::string nested = std::string(depth, '[') + std::string(depth, ']');
  EXPECT_EQ(read_outcome<Sample>(R"({"other":)" + nested + R"(,"size":1,"name":"n"})"), "ok");

  std::string objects;
  for (std::size_t i = 0; i < depth; ++i) objects += R"({"a":)";
  objects += "1" + std::string(depth, '}');
  EXPECT_EQ(read_outcome<Sample>(R"({"other":)" + objects + R"(,"size":1,"name":"n"})"), "ok");
}

TEST(JsonReader, RefusesBrokenUnknownValues) {
  // Inside a value passed over, the messages are those of plain syntax.
  expect_outcomes({
      {R"({"x":[1,]})", "expected value at line 1 column 9"},
      {R"({"x":{"a":1,}})", "key must be a string at line 1 column 13"},
      {R"({"x":[1 2]})", "expected `,` or `]` at line 1 column 9"},
      {R"({"x":{"a":1 "b":2}})", "expected `,` or `}` at line 1 column 13"},
      {R"({"x":{"a" 1}})", "expected `:` at line 1 column 11"},
      {R"({"x":{5:1}})", "key must be a string at line 1 column 7"},
      {R"({"x":]})", "expected value at line 1 column 6"},
      {R"({"x":nul})", "expected ident at line 1 column 9"},
      {R"({"x":-})", "invalid number at line 1 column 7"},
      {R"({"x":-)", "invalid number at line 1 column 6"},
      {R"({"x":01})", "invalid number at line 1 column 7"},
      {R"({"x":1.})", "invalid number at line 1 column 8"},
      {R"({"x":1.)", "invalid number at line 1 column 7"},
      {R"({"x":1e})", "invalid number at line 1 column 8"},
      {R"({"x":"\q"})", "invalid escape at line 1 column 8"},
      {R"({"x":"\u12x4"})", "invalid escape at line 1 column 12"},
      {"{\"x\":\"a\tb\"}", "control character (\\u0000-\\u001F) found while parsing a string at line 1 column 8"},
      {R"({"x":"ab)", "EOF while parsing a string at line 1 column 8"},
      {R"({"x":[)", "EOF while parsing a value at line 1 column 6"},
      {R"({"x":[1)", "EOF while parsing a list at line 1 column 7"},
      {R"({"x":{)", "EOF while parsing an object at line 1 column 6"},
      {R"({"x":{"a")", "EOF while parsing an object at line 1 column 9"},
      {R"({"x":{"a":1)", "EOF while parsing an object at line 1 column 11"},
      {R"({"x":)", "EOF while parsing a value at line 1 column 5"},
  });
}

TEST(JsonReader, ChecksTheKeysOfUnknownFieldsAsStrings) {
  expect_outcomes({
      {R"({"\ud800":1})", "unexpected end of hex escape at line 1 column 9"},
      {"{\"\xff\":1}", "invalid unicode code point at line 1 column 4"},
      {R"({"\x":1})", "invalid escape at line 1 column 4"},
  });
}

TEST(JsonReader, LimitsTheNestingOfRecordsAndLists) {
  // Each level of a Tree in array form opens a record and then its list.
  const auto nested = [](std::size_t depth) { return std::string(depth, '[') + std::string(depth, ']'); };
  EXPECT_EQ(read_outcome<Tree>(nested(127)), "ok");
  EXPECT_EQ(read_outcome<Tree>(nested(128)), "recursion limit exceeded at line 1 column 128");

  const auto parsed = json::parse_json<Tree>(platform::byte_view("[[[[[]]],[]]]"));
  ASSERT_TRUE(parsed);
  EXPECT_EQ(*parsed, (Tree{{Tree{{Tree{}}}, Tree{}}}));
}

}  // namespace
}  // namespace update::testing
