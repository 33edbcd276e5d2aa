// Ed25519 as the updater trusts it: point decoding of a public key and
// verification with every strict check (canonical S, canonical R, neither R
// nor the key of small order, the recomputed R equal to the signature's R
// byte for byte).
#pragma once

#include <cstddef>

#include "platform/bytes.hpp"
#include "update/check/pinned_keys.hpp"

namespace update {

inline constexpr std::size_t ed25519_signature_length = 64;

// True when the 32 bytes decode as a point of the Ed25519 curve: the y
// coordinate below the field prime, a square root for x, and no "negative"
// zero x. Points of small order and points outside the prime-order subgroup
// decode; verification refuses the small-order ones itself.
bool decodes_as_point(const PublicKeyBytes& key);

// True when the signature (R then S, 64 bytes) holds over the message under
// the key with every strict check. Any other length is refused.
bool verify_strict(platform::ByteView signature, platform::ByteView message,
                   const PublicKeyBytes& key);

}  // namespace update
