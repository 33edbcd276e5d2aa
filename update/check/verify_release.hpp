// The gate between the release channel and everything that writes to the
// disk: a manifest is trusted only when a pinned key signed its exact bytes,
// it follows every manifest rule and it is addressed to this product and
// channel.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include <tl/expected.hpp>

#include "platform/bytes.hpp"
#include "update/check/pinned_keys.hpp"
#include "update/error.hpp"
#include "update/records/manifest.hpp"

namespace update {

struct VerifiedRelease {
  ReleaseManifest manifest;
  // The id of the pinned entry whose key accepted the signature (not the
  // manifest's own key_id).
  std::string key_id;
  // release.json exactly as received.
  platform::Bytes manifest_bytes;
  // The 64-byte signature.
  platform::Bytes signature;
};

// Checks a release.json and its signature (none when there was no
// release.json.sig) against the build's pinned keys. `url` only names the
// manifest inside a refusal: the channel's URL of release.json, or the path of
// a staged copy. Writes nothing and logs nothing.
tl::expected<VerifiedRelease, UpdateError> verify_release(
    std::string_view url, platform::ByteView manifest_bytes,
    std::optional<platform::ByteView> signature, std::string_view expected_product,
    std::string_view expected_channel);

// The same against an explicit key table, tried in order.
tl::expected<VerifiedRelease, UpdateError> verify_release(
    std::span<const PinnedKey> keys, std::string_view url, platform::ByteView manifest_bytes,
    std::optional<platform::ByteView> signature, std::string_view expected_product,
    std::string_view expected_channel);

}  // namespace update
