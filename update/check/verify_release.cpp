#include "update/check/verify_release.hpp"

#include <algorithm>

#include "update/check/ed25519_strict.hpp"
#include "update/check/manifest_rules.hpp"

namespace update {

namespace {

UpdateError refusal(auto variant) { return UpdateError{std::move(variant)}; }

// The first entry of the table whose key decodes and accepts the signature
// over the bytes; entries whose key text is not a key are passed over.
const PinnedKey* accepting_key(std::span<const PinnedKey> keys, platform::ByteView signature,
                               platform::ByteView message) {
  for (const PinnedKey& entry : keys) {
    const auto key = decode_key_hex(entry.public_key_hex);
    if (!key || !decodes_as_point(*key)) continue;
    if (verify_strict(signature, message, *key)) return &entry;
  }
  return nullptr;
}

}  // namespace

tl::expected<VerifiedRelease, UpdateError> verify_release(
    std::string_view url, platform::ByteView manifest_bytes,
    std::optional<platform::ByteView> signature, std::string_view expected_product,
    std::string_view expected_channel) {
  return verify_release(pinned_keys(), url, manifest_bytes, signature, expected_product,
                        expected_channel);
}

tl::expected<VerifiedRelease, UpdateError> verify_release(
    std::span<const PinnedKey> keys, std::string_view url, platform::ByteView manifest_bytes,
    std::optional<platform::ByteView> signature, std::string_view expected_product,
    std::string_view expected_channel) {
  const std::string where(url);
  if (!signature) return tl::unexpected(refusal(UpdateError::NoSignature{where}));
  if (signature->size() != ed25519_signature_length) {
    return tl::unexpected(
        refusal(UpdateError::NotEd25519{where, signature->size(), ed25519_signature_length}));
  }

  // Nothing of the manifest is read before its bytes are proven signed.
  const PinnedKey* accepted = accepting_key(keys, *signature, manifest_bytes);
  if (accepted == nullptr) return tl::unexpected(refusal(UpdateError::SignatureFailure{where}));

  auto manifest = parse_release_manifest(manifest_bytes);
  if (!manifest) {
    return tl::unexpected(refusal(UpdateError::Unusable{where, manifest.error().display()}));
  }

  // A key id the manifest names must be one the table holds, usable or not.
  if (manifest->key_id) {
    const std::string& named = *manifest->key_id;
    const bool pinned = std::any_of(keys.begin(), keys.end(),
                                    [&](const PinnedKey& entry) { return entry.key_id == named; });
    if (!pinned) return tl::unexpected(refusal(UpdateError::UnpinnedKey{where, named}));
  }

  if (auto reason = why_unusable(*manifest)) {
    return tl::unexpected(refusal(UpdateError::Unusable{where, std::move(*reason)}));
  }

  if (manifest->product != expected_product || manifest->channel != expected_channel) {
    return tl::unexpected(refusal(UpdateError::WrongProduct{
        where, manifest->product, manifest->channel, std::string(expected_product),
        std::string(expected_channel)}));
  }

  return VerifiedRelease{
      std::move(*manifest),
      accepted->key_id,
      platform::Bytes(manifest_bytes.begin(), manifest_bytes.end()),
      platform::Bytes(signature->begin(), signature->end()),
  };
}

}  // namespace update
