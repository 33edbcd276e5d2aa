// The two sources behind fill_system_random on Windows, and how one stands
// in for the other: what the layer's tests drive with sources of their own.
#pragma once

#include <cstdint>
#include <functional>
#include <span>

#include <tl/expected.hpp>

#include "platform/io_error.hpp"

namespace platform::win {

// A random source: fills the whole buffer (at most 4 GiB - 1 bytes) and
// answers true, or answers false.
using RandomSource = std::function<bool(std::span<std::uint8_t> buffer)>;

// BCryptGenRandom(NULL, ..., BCRYPT_USE_SYSTEM_PREFERRED_RNG) of bcrypt.dll,
// loaded from the system folder at the first call; false where it cannot be
// loaded or fails.
bool bcrypt_system_preferred_random(std::span<std::uint8_t> buffer);

// advapi32's SystemFunction036 (RtlGenRandom).
bool rtl_gen_random(std::span<std::uint8_t> buffer);

// Fills `buffer` from `first`, and each part of it that `first` fails to
// fill from `fallback`; an error when both fail.
tl::expected<void, IoError> fill_random(std::span<std::uint8_t> buffer, const RandomSource& first,
                                        const RandomSource& fallback);

}  // namespace platform::win
