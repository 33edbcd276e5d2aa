#include "update/check/release_check.hpp"

#include <fmt/format.h>

#include "fetch/http/request.hpp"
#include "fetch/progress.hpp"
#include "update/check/high_water.hpp"
#include "update/check/pin.hpp"
#include "update/check/refusals_log.hpp"
#include "update/check/release_path.hpp"
#include "update/own_version.hpp"
#include "update/records/version.hpp"
#include "update/store/clock.hpp"

namespace update {

namespace {

// The version that the bytes claim, read before anything vouches for them and
// used only to name the refusal; the empty text when they do not read.
std::string claimed_version(platform::ByteView manifest_bytes) {
  auto manifest = parse_release_manifest(manifest_bytes);
  return manifest ? std::move(manifest->version) : std::string();
}

// The signature's bytes, or none when the host has no signature (404).
tl::expected<std::optional<platform::Bytes>, UpdateError> fetch_signature(const fetch::ServerUrl& host,
                                                                          const std::string& path) {
  // The signature is small and comes right after the manifest: a cancel
  // now would only waste the manifest that already arrived.
  auto response = fetch::get_without_redirect(host, path, fetch::always_continue());
  if (!response) {
    if (response.error().is<fetch::FetchError::NotFound>()) return std::nullopt;
    return tl::unexpected(map_fetch_error(path, std::move(response.error())));
  }
  if (auto* body = response->get<fetch::Response::Body>()) return std::move(body->body);
  // get_without_redirect refuses redirects, so what is left is a 304.
  return tl::unexpected(map_fetch_error(path, fetch::not_modified_error(path)));
}

}  // namespace

ChannelRequests channel_requests(const fetch::ServerUrl& host, std::string_view product, std::string_view channel) {
  const std::string channel_path = release_path(product, channel);
  ChannelRequests requests;
  requests.manifest_path = fmt::format("{}/{}", channel_path, "release.json");
  requests.signature_path = fmt::format("{}/{}", channel_path, "release.json.sig");
  requests.manifest_url = fmt::format("{}{}", fetch::format_server_url(host), requests.manifest_path);
  return requests;
}

tl::expected<CheckResult, UpdateError> check_release(const fetch::ServerUrl& host, const platform::Path& updates,
                                                     std::string_view product, std::string_view channel,
                                                     const std::atomic<bool>& cancel) {
  const ChannelRequests requests = channel_requests(host, product, channel);
  const std::string& url = requests.manifest_url;

  auto manifest_response =
      fetch::get_without_redirect(host, requests.manifest_path, fetch::continue_unless_cancelled(cancel));
  if (!manifest_response) {
    return tl::unexpected(map_fetch_error(requests.manifest_path, std::move(manifest_response.error())));
  }
  // get_without_redirect refuses redirects: the answer is a body or a 304.
  auto* manifest_body = manifest_response->get<fetch::Response::Body>();
  if (manifest_body == nullptr) return CheckResult{CheckAnswer::Unchanged, std::nullopt};
  const platform::Bytes manifest_bytes = std::move(manifest_body->body);

  auto signature = fetch_signature(host, requests.signature_path);
  if (!signature) return tl::unexpected(std::move(signature.error()));

  const std::string claimed = claimed_version(manifest_bytes);
  std::optional<platform::ByteView> signature_view;
  if (*signature) signature_view = platform::ByteView(**signature);
  auto verified = verify_release(url, manifest_bytes, signature_view, product, channel);
  if (!verified) {
    log_refusal(updates, url, claimed, verified.error());
    return tl::unexpected(std::move(verified.error()));
  }
  const ReleaseManifest& manifest = verified->manifest;

  const std::int64_t stored = load_high_water(updates);
  if (manifest.issued_at_ms < stored) {
    UpdateError replay{UpdateError::Replay{url, manifest.issued_at_ms, stored}};
    log_refusal(updates, url, manifest.version, replay);
    return tl::unexpected(std::move(replay));
  }

  // Read again: the mark is raised only past what is on the disk now.
  if (manifest.issued_at_ms > load_high_water(updates)) {
    const HighWater mark{manifest.issued_at_ms, manifest.version, static_cast<std::int64_t>(now_ms())};
    if (auto stored_mark = store_high_water(updates, mark); !stored_mark) {
      return tl::unexpected(std::move(stored_mark.error()));
    }
  }

  if (auto pin = drop_overtaken_pin(updates, manifest.version); !pin) return tl::unexpected(std::move(pin.error()));

  const auto own = parse_version(own_version);
  if (!own) {
    return tl::unexpected(UpdateError{UpdateError::Unusable{
        url, fmt::format("this build's own version {} is not a semver, so nothing can be compared to it",
                         own_version)}});
  }
  // verify_release accepted the version, so it parses.
  const auto release_version = parse_version(manifest.version);
  const CheckAnswer answer =
      release_version && *release_version > *own ? CheckAnswer::Newer : CheckAnswer::NotNewer;
  return CheckResult{answer, std::move(*verified)};
}

}  // namespace update
