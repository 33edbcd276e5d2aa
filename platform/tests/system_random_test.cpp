// The system random source, on each system: whole buffers of bytes that no
// two fills share.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "platform/system_random.hpp"

namespace {

TEST(SystemRandom, FillsBuffersOfEverySizeWithBytesThatDifferFromFillToFill) {
  for (const std::size_t size : {std::size_t{0}, std::size_t{1}, std::size_t{48}, std::size_t{1} << 20}) {
    SCOPED_TRACE(size);
    std::vector<std::uint8_t> first(size, 0), second(size, 0);
    ASSERT_TRUE(platform::fill_system_random(first));
    ASSERT_TRUE(platform::fill_system_random(second));
    if (size < 48) continue;
    EXPECT_NE(first, second);
    // A buffer left unwritten, wholly or at its end, would still be zeros.
    EXPECT_FALSE(std::all_of(first.end() - 32, first.end(), [](std::uint8_t b) { return b == 0; }));
  }
}

}  // namespace
