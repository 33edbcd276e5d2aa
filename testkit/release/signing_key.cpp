#include "testkit/release/signing_key.hpp"

#include <memory>
#include <stdexcept>
#include <string>

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <sodium.h>

#include "platform/fs.hpp"
#include "testkit/host_tools.hpp"

namespace testkit {

namespace {

struct BioFree {
  void operator()(BIO* bio) const { BIO_free(bio); }
};
struct PkeyFree {
  void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};

void need_sodium() {
  static const bool ready = sodium_init() >= 0;
  if (!ready) throw std::runtime_error("libsodium cannot initialise");
}

Ed25519Seed read_seed() {
  const std::string pem = platform::display(test_signing_key_pem());
  auto text = platform::read_file(test_signing_key_pem());
  if (!text) throw std::runtime_error("cannot read " + pem + ": " + text.error().text());
  std::unique_ptr<BIO, BioFree> bio(BIO_new_mem_buf(text->data(), static_cast<int>(text->size())));
  if (!bio) throw std::runtime_error("cannot read " + pem);
  std::unique_ptr<EVP_PKEY, PkeyFree> key(
      PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr));
  if (!key || EVP_PKEY_id(key.get()) != EVP_PKEY_ED25519) {
    throw std::runtime_error(pem + " holds no Ed25519 private key");
  }
  Ed25519Seed seed{};
  std::size_t length = seed.size();
  if (EVP_PKEY_get_raw_private_key(key.get(), seed.data(), &length) != 1 ||
      length != seed.size()) {
    throw std::runtime_error("cannot read the seed of " + pem);
  }
  return seed;
}

}  // namespace

platform::Path test_signing_key_pem() {
  return build_path(MORVANE_TESTKIT_KEYS_DIR) / "test_signing_key.pem";
}

const Ed25519Seed& test_signing_seed() {
  static const Ed25519Seed seed = read_seed();
  return seed;
}

Ed25519PublicKey test_signing_public_key() { return public_key_of(test_signing_seed()); }

platform::Bytes sign_with_test_key(platform::ByteView message) {
  return sign_with_seed(test_signing_seed(), message);
}

Ed25519PublicKey public_key_of(const Ed25519Seed& seed) {
  need_sodium();
  Ed25519PublicKey public_key{};
  std::array<std::uint8_t, crypto_sign_ed25519_SECRETKEYBYTES> secret{};
  crypto_sign_ed25519_seed_keypair(public_key.data(), secret.data(), seed.data());
  return public_key;
}

platform::Bytes sign_with_seed(const Ed25519Seed& seed, platform::ByteView message) {
  need_sodium();
  std::array<std::uint8_t, crypto_sign_ed25519_PUBLICKEYBYTES> public_key{};
  std::array<std::uint8_t, crypto_sign_ed25519_SECRETKEYBYTES> secret{};
  crypto_sign_ed25519_seed_keypair(public_key.data(), secret.data(), seed.data());
  platform::Bytes signature(crypto_sign_ed25519_BYTES);
  static const std::uint8_t nothing = 0;
  crypto_sign_ed25519_detached(signature.data(), nullptr,
                               message.empty() ? &nothing : message.data(), message.size(),
                               secret.data());
  return signature;
}

}  // namespace testkit
