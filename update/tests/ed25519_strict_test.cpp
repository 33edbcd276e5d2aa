#include "update/check/ed25519_strict.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include <sodium.h>

#include "testkit/release/signing_key.hpp"
#include "update/tests/forged_signatures.hpp"
#include "update/tests/rfc8032_vectors.hpp"

namespace update {
namespace {

using testing::from_hex;
using testing::key_from_hex;
using testing::rfc8032_vectors;
using testing::Rfc8032Vector;

TEST(Ed25519StrictTest, Rfc8032VectorsVerify) {
  for (const Rfc8032Vector& v : rfc8032_vectors()) {
    const PublicKeyBytes key = key_from_hex(v.public_key);
    const platform::Bytes message = from_hex(v.message);
    const platform::Bytes signature = from_hex(v.signature);
    EXPECT_TRUE(decodes_as_point(key)) << v.name;
    EXPECT_TRUE(verify_strict(signature, message, key)) << v.name;

    platform::Bytes longer = message;
    longer.push_back(0x00);
    EXPECT_FALSE(verify_strict(signature, longer, key)) << v.name << ", one byte more";
    for (std::size_t bit : {0u, 255u, 256u, 511u}) {
      platform::Bytes flipped = signature;
      flipped[bit / 8] ^= static_cast<std::uint8_t>(1u << (bit % 8));
      EXPECT_FALSE(verify_strict(flipped, message, key)) << v.name << ", bit " << bit;
    }
  }
  // SHA(abc) signs the SHA-512 of "abc" itself.
  std::array<std::uint8_t, 64> sha_abc{};
  crypto_hash_sha512(sha_abc.data(), reinterpret_cast<const unsigned char*>("abc"), 3);
  EXPECT_EQ(platform::Bytes(sha_abc.begin(), sha_abc.end()), from_hex(rfc8032_vectors()[4].message));
  EXPECT_EQ(from_hex(rfc8032_vectors()[3].message).size(), 1023u);
}

TEST(Ed25519StrictTest, OnlySixtyFourByteSignaturesAreRead) {
  const auto message = platform::byte_view("a manifest");
  const platform::Bytes signature = testkit::sign_with_test_key(message);
  const PublicKeyBytes key = testkit::test_signing_public_key();
  ASSERT_TRUE(verify_strict(signature, message, key));

  platform::Bytes longer = signature;
  longer.push_back(0);
  EXPECT_FALSE(verify_strict(longer, message, key));
  EXPECT_FALSE(verify_strict(platform::ByteView(signature).first(63), message, key));
  EXPECT_FALSE(verify_strict({}, message, key));
}

TEST(Ed25519StrictTest, NonCanonicalSIsRefused) {
  const auto message = platform::byte_view("a manifest");
  const platform::Bytes signature = testkit::sign_with_test_key(message);
  const PublicKeyBytes key = testkit::test_signing_public_key();
  ASSERT_TRUE(verify_strict(signature, message, key));

  // S + L satisfies the same equation.
  EXPECT_FALSE(verify_strict(testing::with_s_plus_order(signature), message, key));
  platform::Bytes top_bit = signature;
  top_bit[63] |= 0x80;
  EXPECT_FALSE(verify_strict(top_bit, message, key));
  platform::Bytes all_ones = signature;
  std::fill(all_ones.begin() + 32, all_ones.end(), 0xff);
  EXPECT_FALSE(verify_strict(all_ones, message, key));
}

TEST(Ed25519StrictTest, SmallOrderRIsRefused) {
  const auto message = platform::byte_view("a manifest");
  const PublicKeyBytes key = testkit::test_signing_public_key();
  for (const auto& r : testing::small_order_encodings()) {
    const platform::Bytes signature = testing::sign_with_small_order_r(key_from_hex(r.hex), message);
    EXPECT_FALSE(verify_strict(signature, message, key)) << r.name;
  }
  // With R the identity, [S]B - [k]A = R holds exactly: a verifier that
  // skips the small-order check accepts it.
  const platform::Bytes identity_r =
      testing::sign_with_small_order_r(key_from_hex(testing::small_order_encodings()[0].hex), message);
  EXPECT_TRUE(testing::openssl_accepts(key, identity_r, message));
}

TEST(Ed25519StrictTest, SmallOrderKeysAcceptNothing) {
  const auto message = platform::byte_view("any message at all");
  const testing::Scalar zero{};
  for (const auto& a : testing::small_order_encodings()) {
    const PublicKeyBytes key = key_from_hex(a.hex);
    EXPECT_EQ(decodes_as_point(key), a.decodes) << a.name;
    const platform::Bytes forged = testing::forge_for_torsion_key(key, zero, message);
    // The forgery is real: OpenSSL's verification accepts it.
    EXPECT_TRUE(testing::openssl_accepts(key, forged, message)) << a.name;
    EXPECT_FALSE(verify_strict(forged, message, key)) << a.name;
  }
}

TEST(Ed25519StrictTest, PointDecoding) {
  EXPECT_TRUE(decodes_as_point(key_from_hex(testing::kBasePointHex)));
  EXPECT_TRUE(decodes_as_point(testkit::test_signing_public_key()));
  // y = 2 has no x on the curve.
  EXPECT_FALSE(decodes_as_point(
      key_from_hex("0200000000000000000000000000000000000000000000000000000000000000")));
  // y = 2^255 - 1, above the field prime.
  EXPECT_FALSE(decodes_as_point(
      key_from_hex("ffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff7f")));
  // y = p - 2 is canonical and has no x.
  EXPECT_FALSE(decodes_as_point(
      key_from_hex("ebffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff7f")));
}

// A key with a small-order component outside the prime-order subgroup is a
// point and is not of small order: it is verified like any other key, by
// the plain equation.
TEST(Ed25519StrictTest, MixedOrderKeyIsVerifiedByTheEquation) {
  const PublicKeyBytes clean = testkit::test_signing_public_key();
  const PublicKeyBytes torsion = key_from_hex(testing::kOrder8Hex);
  PublicKeyBytes mixed{};
  ASSERT_EQ(crypto_core_ed25519_add(mixed.data(), clean.data(), torsion.data()), 0);
  EXPECT_TRUE(decodes_as_point(mixed));

  const auto message = platform::byte_view("a manifest");
  const platform::Bytes signature =
      testing::forge_for_torsion_key(mixed, testing::test_key_scalar(), message);
  EXPECT_TRUE(verify_strict(signature, message, mixed));
  EXPECT_FALSE(verify_strict(signature, platform::byte_view("another manifest"), mixed));
}

}  // namespace
}  // namespace update
