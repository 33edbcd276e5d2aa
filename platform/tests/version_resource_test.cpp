#include <gtest/gtest.h>

#include <cstring>

#include "platform/fs.hpp"
#include "platform/version_resource.hpp"
#include "testkit/pe_file.hpp"
#include "testkit/temp_dir.hpp"

namespace {

std::uint32_t u32_at(const platform::Bytes& bytes, std::size_t at) {
  return bytes[at] | (bytes[at + 1] << 8) | (bytes[at + 2] << 16) | (std::uint32_t{bytes[at + 3]} << 24);
}

class VersionResource : public testing::Test {
 protected:
  std::optional<platform::Bytes> read(const platform::Bytes& file) {
    const auto path = dir_ / "morvane.exe";
    EXPECT_TRUE(platform::write_file(path, file));
    return platform::version_root_block(path);
  }
  testkit::TempDir dir_;
};

TEST_F(VersionResource, GivesTheFixedFileInfoOfPe32PlusAndPe32) {
  for (bool plus : {true, false}) {
    auto block = read(testkit::make_pe_file({.major = 1, .minor = 2, .patch = 3, .build = 4, .pe32_plus = plus}));
    ASSERT_TRUE(block) << plus;
    ASSERT_EQ(block->size(), 52u);
    EXPECT_EQ(u32_at(*block, 0), 0xFEEF04BDu);
    EXPECT_EQ(u32_at(*block, 8), (1u << 16) | 2u);
    EXPECT_EQ(u32_at(*block, 12), (3u << 16) | 4u);
  }
}

TEST_F(VersionResource, AShortValueComesBackShort) {
  auto block = read(testkit::make_pe_file({.value_length = 20}));
  ASSERT_TRUE(block);
  EXPECT_EQ(block->size(), 20u);
}

TEST_F(VersionResource, NothingWithoutAResourceOrAPeFile) {
  EXPECT_FALSE(read(testkit::make_pe_file({.with_resource = false})));
  EXPECT_FALSE(read(platform::to_bytes("MZ but nothing else")));
  EXPECT_FALSE(read(platform::to_bytes("#!/bin/sh\necho not a PE\n")));
  EXPECT_FALSE(read({}));
  EXPECT_FALSE(platform::version_root_block(dir_ / "missing.exe"));
}

TEST_F(VersionResource, ATruncatedFileGivesNothing) {
  auto file = testkit::make_pe_file({});
  // Cuts in the headers, in the directories and inside the version block.
  for (std::size_t cut : {std::size_t{0x60}, std::size_t{0x200}, std::size_t{0x250}, std::size_t{0x270}, std::size_t{0x2A0}, std::size_t{0x2BB}}) {
    platform::Bytes truncated(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(cut));
    auto block = read(truncated);
    EXPECT_TRUE(!block || block->size() < 52) << cut;
  }
}

}  // namespace
