// The size and digest check of bytes that arrived whole in memory.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include <tl/expected.hpp>

#include "platform/bytes.hpp"
#include "update/error.hpp"

namespace update {

// UpdateError::SizeMismatch {name, expected size, number of bytes} when the
// number differs; else UpdateError::HashMismatch {name, expected digest,
// computed digest} when the SHA-256 (64 lower-case hex digits) differs from
// the expected text byte for byte, so that an upper-case digest never passes.
tl::expected<void, UpdateError> check_download(std::string_view name, platform::ByteView bytes,
                                               std::uint64_t expected_size, std::string_view expected_sha256);

}  // namespace update
