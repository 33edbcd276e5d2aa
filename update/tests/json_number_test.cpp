// Integers in fields: the signed and unsigned 64-bit ranges, the numbers that
// read as floats, how floats are described, and broken numbers.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

#include "update/tests/json_test_records.hpp"

namespace update::testing {
namespace {

// The number as `size` of a Sample; it starts at column 9.
std::string sample_with(std::string_view number) {
  return R"({"size":)" + std::string(number) + R"(,"name":"n"})";
}

// The number as `bytes` of a Sized; it starts at column 10.
std::string sized_with(std::string_view number) { return R"({"bytes":)" + std::string(number) + "}"; }

TEST(JsonNumber, ReadsSignedIntegersAcrossTheirRange) {
  struct Case {
    std::string number;
    std::int64_t value;
  };
  const Case cases[] = {
      {"0", 0},
      {"-5", -5},
      {"42", 42},
      {"9223372036854775807", std::numeric_limits<std::int64_t>::max()},
      {"-9223372036854775808", std::numeric_limits<std::int64_t>::min()},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.number);
    const auto sample = json::parse_json<Sample>(platform::byte_view(sample_with(c.number)));
    ASSERT_TRUE(sample) << sample.error().display();
    EXPECT_EQ(sample->size, c.value);
  }
}

TEST(JsonNumber, RefusesWhatIsNoSignedInteger) {
  struct Case {
    std::string number;
    std::string expected;
  };
  const Case cases[] = {
      {"9223372036854775808", "invalid value: integer `9223372036854775808`, expected i64 at line 1 column 27"},
      {"18446744073709551615", "invalid value: integer `18446744073709551615`, expected i64 at line 1 column 28"},
      // Beyond 64 bits, and below the signed range, integers are floats.
      {"18446744073709551616", "invalid type: floating point `18446744073709552000.0`, expected i64 at line 1 column 28"},
      {"-9223372036854775809", "invalid type: floating point `-9223372036854776000.0`, expected i64 at line 1 column 28"},
      {"-0", "invalid type: floating point `-0.0`, expected i64 at line 1 column 10"},
      {"1.0", "invalid type: floating point `1.0`, expected i64 at line 1 column 11"},
      {"0.0", "invalid type: floating point `0.0`, expected i64 at line 1 column 11"},
      {"1.5", "invalid type: floating point `1.5`, expected i64 at line 1 column 11"},
      {"0.1", "invalid type: floating point `0.1`, expected i64 at line 1 column 11"},
      {"-1.25e-1", "invalid type: floating point `-0.125`, expected i64 at line 1 column 16"},
      {"1e2", "invalid type: floating point `100.0`, expected i64 at line 1 column 11"},
      {"1E+2", "invalid type: floating point `100.0`, expected i64 at line 1 column 12"},
      {"1e-7", "invalid type: floating point `0.0000001`, expected i64 at line 1 column 12"},
      {"1e300", "invalid type: floating point `1" + std::string(300, '0') + ".0`, expected i64 at line 1 column 13"},
      {"123456789012345678901234567890",
       "invalid type: floating point `123456789012345680000000000000.0`, expected i64 at line 1 column 38"},
      {"1e-99999999999", "invalid type: floating point `0.0`, expected i64 at line 1 column 22"},
      {"0e99999999999", "invalid type: floating point `0.0`, expected i64 at line 1 column 21"},
      {"1e400", "number out of range at line 1 column 13"},
      {"-1e400", "number out of range at line 1 column 14"},
      // An exponent past 32 bits is refused at the digit that overflows it.
      {"1e99999999999", "number out of range at line 1 column 20"},
      {"\"1\"", "invalid type: string \"1\", expected i64 at line 1 column 11"},
      {"true", "invalid type: boolean `true`, expected i64 at line 1 column 12"},
      {"null", "invalid type: null, expected i64 at line 1 column 12"},
      {"[]", "invalid type: sequence, expected i64 at line 1 column 8"},
      {"{}", "invalid type: map, expected i64 at line 1 column 8"},
      {"+1", "expected value at line 1 column 9"},
      {".5", "expected value at line 1 column 9"},
      {"01", "invalid number at line 1 column 10"},
      {"-", "invalid number at line 1 column 10"},
      {"-a", "invalid number at line 1 column 10"},
      {"1.", "invalid number at line 1 column 11"},
      {"1.e5", "invalid number at line 1 column 11"},
      {"1e", "invalid number at line 1 column 11"},
      {"1e+", "invalid number at line 1 column 12"},
      {"tru", "expected ident at line 1 column 12"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.number);
    EXPECT_EQ(read_outcome<Sample>(sample_with(c.number)), c.expected);
  }
}

TEST(JsonNumber, RefusesNumbersCutShortByTheEndOfInput) {
  struct Case {
    std::string input;
    std::string expected;
  };
  const Case cases[] = {
      {R"({"size":-)", "EOF while parsing a value at line 1 column 9"},
      {R"({"size":1.)", "EOF while parsing a value at line 1 column 10"},
      {R"({"size":1e)", "EOF while parsing a value at line 1 column 10"},
      {R"({"size":1e-)", "EOF while parsing a value at line 1 column 11"},
      {R"({"size":12)", "EOF while parsing an object at line 1 column 10"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.input);
    EXPECT_EQ(read_outcome<Sample>(c.input), c.expected);
  }
}

TEST(JsonNumber, ReadsUnsignedIntegersAndRefusesTheRest) {
  const auto max = json::parse_json<Sized>(platform::byte_view(sized_with("18446744073709551615")));
  ASSERT_TRUE(max);
  EXPECT_EQ(max->bytes, std::numeric_limits<std::uint64_t>::max());
  EXPECT_EQ(read_outcome<Sized>(sized_with("0")), "ok");

  struct Case {
    std::string number;
    std::string expected;
  };
  const Case cases[] = {
      {"18446744073709551616", "invalid type: floating point `18446744073709552000.0`, expected u64 at line 1 column 29"},
      {"-1", "invalid value: integer `-1`, expected u64 at line 1 column 11"},
      {"-9223372036854775808", "invalid value: integer `-9223372036854775808`, expected u64 at line 1 column 29"},
      {"-0", "invalid type: floating point `-0.0`, expected u64 at line 1 column 11"},
      {"1.0", "invalid type: floating point `1.0`, expected u64 at line 1 column 12"},
      {"2e3", "invalid type: floating point `2000.0`, expected u64 at line 1 column 12"},
      {"\"5\"", "invalid type: string \"5\", expected u64 at line 1 column 12"},
      {"null", "invalid type: null, expected u64 at line 1 column 13"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.number);
    EXPECT_EQ(read_outcome<Sized>(sized_with(c.number)), c.expected);
  }
}

}  // namespace
}  // namespace update::testing
