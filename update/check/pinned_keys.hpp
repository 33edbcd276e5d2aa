// The release signing keys that this build trusts: the only anchor for a
// release. The table is compiled in; nothing fetches, adds or replaces a key.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace update {

struct PinnedKey {
  // 16 lower-case hexadecimal digits naming the key.
  std::string key_id;
  // The 32-byte Ed25519 public key as 64 hexadecimal digits.
  std::string public_key_hex;
};

// The build's table, in the order keys are tried. It holds one entry: the
// key chosen when the build was configured.
std::span<const PinnedKey> pinned_keys();

using PublicKeyBytes = std::array<std::uint8_t, 32>;

// The key text as 32 bytes: exactly 64 hexadecimal digits of either case,
// read two by two. Any other text gives none.
std::optional<PublicKeyBytes> decode_key_hex(std::string_view hex);

}  // namespace update
