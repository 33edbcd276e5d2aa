#include "update/check/ed25519_strict.hpp"

#include <sodium.h>

namespace update {

namespace {

// libsodium must be initialised once before use; sodium_init is safe to call
// from several threads and answers 1 once it has already run. When it cannot
// initialise, nothing verifies.
bool sodium_ready() {
  static const bool ready = sodium_init() >= 0;
  return ready;
}

// y (the low 255 bits) is p = 2^255 - 19 or above.
bool y_not_canonical(const PublicKeyBytes& key) {
  if ((key[31] & 0x7f) != 0x7f) return false;
  for (std::size_t i = 1; i < 31; ++i) {
    if (key[i] != 0xff) return false;
  }
  return key[0] >= 0xed;
}

// y = 1 or y = p - 1, the two points with x = 0, written with the sign bit of
// x set: RFC 8032 refuses a negative zero.
bool negative_zero_x(const PublicKeyBytes& key) {
  if ((key[31] & 0x80) == 0) return false;
  bool y_is_one = key[0] == 0x01 && (key[31] & 0x7f) == 0x00;
  bool y_is_minus_one = key[0] == 0xec && (key[31] & 0x7f) == 0x7f;
  for (std::size_t i = 1; i < 31; ++i) {
    y_is_one = y_is_one && key[i] == 0x00;
    y_is_minus_one = y_is_minus_one && key[i] == 0xff;
  }
  return y_is_one || y_is_minus_one;
}

}  // namespace

bool decodes_as_point(const PublicKeyBytes& key) {
  if (!sodium_ready()) return false;
  if (y_not_canonical(key) || negative_zero_x(key)) return false;
  // libsodium has no bare decoding call (crypto_core_ed25519_is_valid_point
  // also refuses small-order and mixed-order points). Point addition decodes
  // both operands and fails exactly when no x exists for the y given.
  unsigned char sum[crypto_core_ed25519_BYTES];
  return crypto_core_ed25519_add(sum, key.data(), key.data()) == 0;
}

bool verify_strict(platform::ByteView signature, platform::ByteView message,
                   const PublicKeyBytes& key) {
  if (!sodium_ready()) return false;
  if (signature.size() != ed25519_signature_length) return false;
  // Built without ED25519_COMPAT, libsodium refuses an S not below the group
  // order, an R or key of small order and a non-canonical key, and compares
  // the canonical encoding of [S]B - [k]A with R's bytes, so a non-canonical
  // R never matches.
  static const unsigned char nothing = 0;
  const unsigned char* bytes = message.empty() ? &nothing : message.data();
  return crypto_sign_ed25519_verify_detached(signature.data(), bytes, message.size(),
                                             key.data()) == 0;
}

}  // namespace update
