#include "update/check/pinned_keys.hpp"

#include "morvane/config.hpp"

namespace update {

std::span<const PinnedKey> pinned_keys() {
  static const std::array<PinnedKey, 1> table{{
      {std::string(config::pinned_key_id), std::string(config::pinned_key_hex)},
  }};
  return table;
}

namespace {

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::optional<PublicKeyBytes> decode_key_hex(std::string_view hex) {
  PublicKeyBytes key{};
  if (hex.size() != key.size() * 2) return std::nullopt;
  for (std::size_t i = 0; i < key.size(); ++i) {
    const int high = hex_digit(hex[2 * i]);
    const int low = hex_digit(hex[2 * i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    key[i] = static_cast<std::uint8_t>(high * 16 + low);
  }
  return key;
}

}  // namespace update
