// One valid release manifest, as a record and as the JSON text a publisher
// would sign, for the tests of the trust checks.
#pragma once

#include <string>

#include "platform/bytes.hpp"
#include "update/records/manifest.hpp"

namespace update::testing {

inline constexpr const char* kProduct = "morvane";
inline constexpr const char* kChannel = "stable-intl";
inline constexpr const char* kUrl = "https://localhost:47443/releases/morvane/stable-intl/release.json";

// 64 hex digits: the digit repeated, so that tests can tell digests apart.
std::string digest(char digit);

// A manifest that follows every rule: two files, the first with an xz
// artifact and two deltas, no key_id.
ReleaseManifest valid_manifest();

// The manifest as a JSON object in declared key order (an absent key_id or
// notes_key is left out).
std::string manifest_json(const ReleaseManifest& manifest);

inline platform::Bytes manifest_bytes(const ReleaseManifest& manifest) {
  return platform::to_bytes(manifest_json(manifest));
}

}  // namespace update::testing
