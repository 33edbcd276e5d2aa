// The system clock as milliseconds since 1970-01-01 00:00 UTC.
#pragma once

#include <chrono>
#include <cstdint>

namespace update {

// Milliseconds since the epoch of the given time; 0 for a time before 1970.
std::uint64_t ms_since_epoch(std::chrono::system_clock::time_point time);

// Milliseconds since the epoch now; 0 when the clock stands before 1970.
std::uint64_t now_ms();

}  // namespace update
