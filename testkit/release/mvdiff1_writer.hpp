// Writing mvdiff1 patches byte by byte, for the delta maker and for tests
// that build patches by hand (wrong on purpose, some of them).
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "platform/bytes.hpp"
#include "update/delta/mvdiff1.hpp"

namespace testkit {

// The raw 32 bytes of the data's SHA-256.
std::array<std::uint8_t, 32> raw_sha256(platform::ByteView data);

// The 104 header bytes with exactly the given fields, magic first.
platform::Bytes write_mvdiff1_header(const update::Mvdiff1Header& header);

// Decoded control stream: 24 bytes per triple, little-endian.
platform::Bytes encode_triples(std::span<const update::ControlTriple> triples);

// A whole patch: the header with the three streams' own lengths, then the
// streams as given (already compressed).
platform::Bytes assemble_mvdiff1(const std::array<std::uint8_t, 32>& source_sha256,
                                 const std::array<std::uint8_t, 32>& target_sha256, std::uint64_t target_size,
                                 platform::ByteView control, platform::ByteView diff,
                                 platform::ByteView extra);

}  // namespace testkit
