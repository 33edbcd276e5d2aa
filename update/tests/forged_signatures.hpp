// Signatures made by hand to attack a verifier: the kinds of signature that a
// lax Ed25519 verifier accepts and a strict one must refuse.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/bytes.hpp"
#include "update/check/pinned_keys.hpp"

namespace update::testing {

using Scalar = std::array<std::uint8_t, 32>;

platform::Bytes from_hex(std::string_view hex);
PublicKeyBytes key_from_hex(std::string_view hex);

// Every 32-byte string whose y coordinate is that of a point of small order
// (order 1, 2, 4 or 8), with either sign bit: the eight points in canonical
// form and the encodings that write them with y at or above the field prime
// or with a "negative" zero x. `decodes` says whether RFC 8032 decoding
// accepts the encoding.
struct SmallOrderEncoding {
  const char* name;
  const char* hex;
  bool decodes;
};
const std::vector<SmallOrderEncoding>& small_order_encodings();

// A point of order 8, and the base point.
inline constexpr const char* kOrder8Hex =
    "26e8958fc2b227b045c3f489f2ef98f0d5dfac05d3c63339b13802886d53fc05";
inline constexpr const char* kBasePointHex =
    "5866666666666666666666666666666666666666666666666666666666666666";

// The test key's secret scalar (the clamped first half of SHA-512 of its
// seed), reduced modulo the group order.
Scalar test_key_scalar();

// The signature with L = 2^252 + 27742317777372353535851937790883648493 added
// to its S: the same verification equation, a non-canonical S.
platform::Bytes with_s_plus_order(platform::ByteView signature);

// A signature by the test key whose R is the given encoding and whose S is
// k·a (k = SHA-512(R, A, M) mod L): [S]B - [k]A is the identity, so a verifier
// that multiplies by the cofactor, or (for R the identity) one that skips the
// small-order check, accepts it.
platform::Bytes sign_with_small_order_r(const PublicKeyBytes& r, platform::ByteView message);

// A signature under the key A = [a]B + T (T of small order) that knows only
// a: R = [r]B and S = r + k·a with r chosen so that k is a multiple of 8,
// which makes [k]T vanish. With a = 0 and A of small order this is the
// classic forgery that accepts any message.
platform::Bytes forge_for_torsion_key(const PublicKeyBytes& key, const Scalar& a,
                                      platform::ByteView message);

// OpenSSL's own Ed25519 verification, which checks S but neither R nor the
// key for small order: the lax reference that shows a forgery is real.
bool openssl_accepts(const PublicKeyBytes& key, platform::ByteView signature,
                     platform::ByteView message);

}  // namespace update::testing
