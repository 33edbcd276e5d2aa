#include "update/store/hex.hpp"

#include <gtest/gtest.h>

#include <string>

#include "update/store/json_or_empty.hpp"

namespace update {
namespace {

TEST(HexTest, TwoLowerCaseDigitsPerByte) {
  EXPECT_EQ(hex_lower({}), "");
  const platform::Bytes bytes = {0x00, 0x01, 0x0f, 0x10, 0xa5, 0xde, 0xff};
  EXPECT_EQ(hex_lower(bytes), "00010f10a5deff");
}

TEST(JsonOrEmptyTest, TheTextOrNothing) {
  const tl::expected<std::string, int> json = std::string("{}");
  const tl::expected<std::string, int> failed = tl::unexpected(3);
  EXPECT_EQ(json_or_empty(json), "{}");
  EXPECT_EQ(json_or_empty(failed), "");
  EXPECT_EQ(json_or_empty(tl::expected<std::string, std::string>("[]")), "[]");
}

}  // namespace
}  // namespace update
