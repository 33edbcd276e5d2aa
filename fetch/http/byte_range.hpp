// A span of a file asked for with a Range header.
#pragma once

#include <cstdint>

namespace fetch {

// Bytes `start` to `end` inclusive of a file `total` bytes long.
struct ByteRange {
  std::uint64_t start = 0;
  std::uint64_t end = 0;
  std::uint64_t total = 0;
  bool operator==(const ByteRange&) const = default;
};

}  // namespace fetch
