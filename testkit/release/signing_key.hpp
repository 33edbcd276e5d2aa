// The test profile's release signing key (testkit/keys/test_signing_key.pem),
// whose public half the test builds pin, and signing with it.
#pragma once

#include <array>
#include <cstdint>

#include "platform/bytes.hpp"
#include "platform/path.hpp"

namespace testkit {

using Ed25519Seed = std::array<std::uint8_t, 32>;
using Ed25519PublicKey = std::array<std::uint8_t, 32>;

// The PEM file (PKCS#8) holding the test key's private half.
platform::Path test_signing_key_pem();

// The key's 32-byte seed, read from the PEM file once.
const Ed25519Seed& test_signing_seed();

// The public key that belongs to the seed.
Ed25519PublicKey test_signing_public_key();

// The Ed25519 signature (64 bytes) of the message under the test key.
platform::Bytes sign_with_test_key(platform::ByteView message);

// The Ed25519 signature of the message under the key of any seed.
platform::Bytes sign_with_seed(const Ed25519Seed& seed, platform::ByteView message);

// The public key of any seed.
Ed25519PublicKey public_key_of(const Ed25519Seed& seed);

}  // namespace testkit
