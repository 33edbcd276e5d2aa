// Progress callbacks: how a long operation reports bytes done and learns
// whether to go on.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>

namespace fetch {

// Called with the bytes done so far and the bytes expected; true to go on,
// false to stop (the operation then ends with FetchError::Cancelled). An
// operation borrows the callback for its own duration and calls it only on
// the thread that runs it.
using ProgressFn = std::function<bool(std::uint64_t done, std::uint64_t total)>;

// Goes on while the flag is clear, stops once it is set; the numbers are
// ignored. The flag is read with an atomic load and no lock, and must outlive
// the callback.
ProgressFn continue_unless_cancelled(const std::atomic<bool>& flag);
ProgressFn continue_unless_cancelled(const std::atomic<bool>&&) = delete;

// Always goes on.
ProgressFn always_continue();

}  // namespace fetch
