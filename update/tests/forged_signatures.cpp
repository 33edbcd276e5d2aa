#include "update/tests/forged_signatures.hpp"

#include <algorithm>
#include <cstring>
#include <memory>
#include <stdexcept>

#include <openssl/evp.h>
#include <sodium.h>

#include "testkit/release/signing_key.hpp"

namespace update::testing {

namespace {

void need_sodium() {
  if (sodium_init() < 0) throw std::runtime_error("libsodium cannot initialise");
}

// SHA-512 of R, A and M reduced modulo L.
Scalar challenge(const std::uint8_t* r, const PublicKeyBytes& key, platform::ByteView message) {
  crypto_hash_sha512_state state;
  crypto_hash_sha512_init(&state);
  crypto_hash_sha512_update(&state, r, 32);
  crypto_hash_sha512_update(&state, key.data(), key.size());
  crypto_hash_sha512_update(&state, message.data(), message.size());
  std::array<std::uint8_t, 64> wide{};
  crypto_hash_sha512_final(&state, wide.data());
  Scalar k{};
  crypto_core_ed25519_scalar_reduce(k.data(), wide.data());
  return k;
}

Scalar nonce(std::uint32_t counter) {
  std::array<std::uint8_t, 64> wide{};
  const std::string label = "forged nonce " + std::to_string(counter);
  crypto_hash_sha512(wide.data(), reinterpret_cast<const unsigned char*>(label.data()),
                     label.size());
  Scalar r{};
  crypto_core_ed25519_scalar_reduce(r.data(), wide.data());
  return r;
}

platform::Bytes join(const std::uint8_t* r, const Scalar& s) {
  platform::Bytes signature(64);
  std::copy(r, r + 32, signature.begin());
  std::copy(s.begin(), s.end(), signature.begin() + 32);
  return signature;
}

}  // namespace

platform::Bytes from_hex(std::string_view hex) {
  if (hex.size() % 2 != 0) throw std::invalid_argument("odd hex");
  if (hex.empty()) return {};
  platform::Bytes out(hex.size() / 2);
  std::size_t length = 0;
  if (sodium_hex2bin(out.data(), out.size(), hex.data(), hex.size(), nullptr, &length, nullptr) !=
          0 ||
      length != out.size()) {
    throw std::invalid_argument("bad hex");
  }
  return out;
}

PublicKeyBytes key_from_hex(std::string_view hex) {
  const platform::Bytes bytes = from_hex(hex);
  if (bytes.size() != 32) throw std::invalid_argument("a key is 32 bytes");
  PublicKeyBytes key{};
  std::memcpy(key.data(), bytes.data(), key.size());
  return key;
}

const std::vector<SmallOrderEncoding>& small_order_encodings() {
  static const std::vector<SmallOrderEncoding> encodings = {
      // the eight points of small order, canonical
      {"identity (order 1)", "0100000000000000000000000000000000000000000000000000000000000000", true},
      {"order 2", "ecffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff7f", true},
      {"order 4, y 0", "0000000000000000000000000000000000000000000000000000000000000000", true},
      {"order 4, y 0, x negative", "0000000000000000000000000000000000000000000000000000000000000080", true},
      {"order 8", "26e8958fc2b227b045c3f489f2ef98f0d5dfac05d3c63339b13802886d53fc05", true},
      {"order 8, x negative", "26e8958fc2b227b045c3f489f2ef98f0d5dfac05d3c63339b13802886d53fc85", true},
      {"order 8, y negated", "c7176a703d4dd84fba3c0b760d10670f2a2053fa2c39ccc64ec7fd7792ac037a", true},
      {"order 8, y negated, x negative", "c7176a703d4dd84fba3c0b760d10670f2a2053fa2c39ccc64ec7fd7792ac03fa", true},
      // x = 0 written as negative
      {"identity, negative zero x", "0100000000000000000000000000000000000000000000000000000000000080", false},
      {"order 2, negative zero x", "ecffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff", false},
      // y written at or above the field prime p
      {"order 4, y written as p", "edffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff7f", false},
      {"order 4, y written as p, x negative", "edffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff", false},
      {"identity, y written as p + 1", "eeffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff7f", false},
      {"identity, y written as p + 1, negative zero x", "eeffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff", false},
  };
  return encodings;
}

Scalar test_key_scalar() {
  need_sodium();
  const testkit::Ed25519Seed& seed = testkit::test_signing_seed();
  std::array<std::uint8_t, 64> expanded{};
  crypto_hash_sha512(expanded.data(), seed.data(), seed.size());
  expanded[0] &= 248;
  expanded[31] &= 127;
  expanded[31] |= 64;
  std::array<std::uint8_t, 64> wide{};
  std::memcpy(wide.data(), expanded.data(), 32);
  Scalar a{};
  crypto_core_ed25519_scalar_reduce(a.data(), wide.data());
  return a;
}

platform::Bytes with_s_plus_order(platform::ByteView signature) {
  // L, little-endian.
  static const platform::Bytes order =
      from_hex("edd3f55c1a631258d69cf7a2def9de1400000000000000000000000000000010");
  platform::Bytes out(signature.begin(), signature.end());
  unsigned carry = 0;
  for (std::size_t i = 0; i < 32; ++i) {
    const unsigned sum = out[32 + i] + order[i] + carry;
    out[32 + i] = static_cast<std::uint8_t>(sum & 0xff);
    carry = sum >> 8;
  }
  return out;
}

platform::Bytes sign_with_small_order_r(const PublicKeyBytes& r, platform::ByteView message) {
  need_sodium();
  const PublicKeyBytes key = testkit::test_signing_public_key();
  const Scalar k = challenge(r.data(), key, message);
  const Scalar a = test_key_scalar();
  Scalar s{};
  crypto_core_ed25519_scalar_mul(s.data(), k.data(), a.data());
  return join(r.data(), s);
}

bool openssl_accepts(const PublicKeyBytes& key, platform::ByteView signature,
                     platform::ByteView message) {
  std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> pkey(
      EVP_PKEY_new_raw_public_key(EVP_PKEY_ED25519, nullptr, key.data(), key.size()),
      &EVP_PKEY_free);
  if (!pkey) return false;
  std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(),
                                                                  &EVP_MD_CTX_free);
  if (!context ||
      EVP_DigestVerifyInit(context.get(), nullptr, nullptr, nullptr, pkey.get()) != 1) {
    return false;
  }
  return EVP_DigestVerify(context.get(), signature.data(), signature.size(), message.data(),
                          message.size()) == 1;
}

platform::Bytes forge_for_torsion_key(const PublicKeyBytes& key, const Scalar& a,
                                      platform::ByteView message) {
  need_sodium();
  for (std::uint32_t counter = 0; counter < 1000; ++counter) {
    const Scalar r = nonce(counter);
    std::array<std::uint8_t, 32> r_point{};
    if (crypto_scalarmult_ed25519_base_noclamp(r_point.data(), r.data()) != 0) continue;
    const Scalar k = challenge(r_point.data(), key, message);
    if ((k[0] & 7) != 0) continue;
    Scalar ka{};
    crypto_core_ed25519_scalar_mul(ka.data(), k.data(), a.data());
    Scalar s{};
    crypto_core_ed25519_scalar_add(s.data(), r.data(), ka.data());
    return join(r_point.data(), s);
  }
  throw std::runtime_error("no nonce gave a challenge divisible by 8");
}

}  // namespace update::testing
