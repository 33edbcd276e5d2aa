// The system's random source, where the keys and nonces of TLS come from.
//
// On Windows it is BCryptGenRandom with the system-preferred generator, from
// bcrypt.dll of the system folder, and advapi32's SystemFunction036 for
// whatever that does not give; the static OpenSSL of the Windows build takes
// its seed from here. On POSIX it is getrandom, and OpenSSL seeds itself from
// the same source.
#pragma once

#include <cstdint>
#include <span>

#include <tl/expected.hpp>

#include "platform/io_error.hpp"

namespace platform {

// Fills `buffer` with bytes of the system's random source; an error when
// the system gives none.
tl::expected<void, IoError> fill_system_random(std::span<std::uint8_t> buffer);

}  // namespace platform
