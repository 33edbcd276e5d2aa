// The updater's question to the release channel: what is the current
// release, and may it be trusted? Downloads release.json and its signature,
// verifies them, refuses a replay against the high-water mark and raises the
// mark, drops a pin that the release has overtaken, and compares the
// release's version with the updater's own. Every refused manifest leaves a
// line in refusals.log.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include <tl/expected.hpp>

#include "fetch/http/server_url.hpp"
#include "platform/path.hpp"
#include "update/check/verify_release.hpp"
#include "update/error.hpp"

namespace update {

enum class CheckAnswer {
  // The host answered the request for release.json with 304 Not Modified:
  // no manifest arrived.
  Unchanged,
  // Verified; its version is not greater than the updater's own.
  NotNewer,
  // Verified; its version is greater than the updater's own.
  Newer,
};

struct CheckResult {
  CheckAnswer answer = CheckAnswer::Unchanged;
  // The verified release, for NotNewer and Newer; none for Unchanged.
  std::optional<VerifiedRelease> release;
};

// The most that the check reads of each answer. A signature is 64 bytes; no
// release comes near the manifest's ceiling (100,000 files make about 49 MB).
// An answer that announces more ends before its body.
inline constexpr std::uint64_t signature_ceiling = 4 * 1024;
inline constexpr std::uint64_t manifest_ceiling = 64 * 1024 * 1024;

// The paths on the release host of a product's channel.
struct ChannelRequests {
  // "<release_path>/release.json"
  std::string manifest_path;
  // "<release_path>/release.json.sig"
  std::string signature_path;
  // format_server_url of the host followed by the manifest's path: how
  // refusals name the manifest.
  std::string manifest_url;
};
ChannelRequests channel_requests(const fetch::ServerUrl& host, std::string_view product, std::string_view channel);

// Asks the channel for its release. The cancel flag is watched by the
// manifest's download only (UpdateError::Cancelled); the signature's
// download, the verification and the file steps go on regardless. A
// manifest past its ceiling is UpdateError::Unreachable, unlogged, like any
// answer that breaks the rules; a signature past its ceiling is refused and
// logged as UpdateError::NotEd25519 with the length it announced.
tl::expected<CheckResult, UpdateError> check_release(const fetch::ServerUrl& host, const platform::Path& updates,
                                                     std::string_view product, std::string_view channel,
                                                     const std::atomic<bool>& cancel);

}  // namespace update
