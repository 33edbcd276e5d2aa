#include "fetch/progress.hpp"

namespace fetch {

ProgressFn continue_unless_cancelled(const std::atomic<bool>& flag) {
  return [&flag](std::uint64_t, std::uint64_t) { return !flag.load(); };
}

ProgressFn always_continue() {
  return [](std::uint64_t, std::uint64_t) { return true; };
}

}  // namespace fetch
