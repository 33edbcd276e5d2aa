#include "update/store/clock.hpp"

namespace update {

std::uint64_t ms_since_epoch(std::chrono::system_clock::time_point time) {
  const auto since = time.time_since_epoch();
  if (since < std::chrono::system_clock::duration::zero()) return 0;
  return static_cast<std::uint64_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(since).count());
}

std::uint64_t now_ms() { return ms_since_epoch(std::chrono::system_clock::now()); }

}  // namespace update
