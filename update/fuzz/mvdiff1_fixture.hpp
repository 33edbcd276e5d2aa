// The installed file and the entry that the mvdiff1 fuzzer patches, shared
// with the test that keeps the fuzzer's seed patches valid.
#pragma once

#include <cstdint>

#include "fetch/digest/sha256.hpp"
#include "platform/bytes.hpp"
#include "update/records/manifest.hpp"

namespace update::fuzz {

// 600 bytes of a pattern with little repetition.
inline platform::Bytes mvdiff1_fixture_old() {
  platform::Bytes old(600);
  std::uint32_t state = 0x2545F491;
  for (auto& byte : old) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    byte = static_cast<std::uint8_t>(state);
  }
  return old;
}

// The old bytes with 16 bytes changed, 24 inserted and 40 taken out.
inline platform::Bytes mvdiff1_fixture_new() {
  platform::Bytes bytes = mvdiff1_fixture_old();
  for (std::size_t i = 100; i < 116; ++i) bytes[i] ^= 0x5A;
  const platform::Bytes inserted = platform::to_bytes("a new stretch, 24 bytes.");
  bytes.insert(bytes.begin() + 300, inserted.begin(), inserted.end());
  bytes.erase(bytes.begin() + 450, bytes.begin() + 490);
  return bytes;
}

inline FileEntry mvdiff1_fixture_entry() {
  const platform::Bytes made = mvdiff1_fixture_new();
  FileEntry entry;
  entry.path = "morvane.dll";
  entry.bytes = made.size();
  entry.sha256 = fetch::sha256_hex(made);
  return entry;
}

}  // namespace update::fuzz
