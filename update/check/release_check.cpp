#include "update/check/release_check.hpp"

#include <fmt/format.h>

#include "fetch/http/request.hpp"
#include "fetch/progress.hpp"
#include "morvane/config.hpp"
#include "update/check/ed25519_strict.hpp"
#include "update/check/high_water.hpp"
#include "update/check/pin.hpp"
#include "update/check/refusals_log.hpp"
#include "update/check/release_path.hpp"
#include "update/own_file_names.hpp"
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

// Stops a download whose answer announces more than `ceiling` bytes, at the
// first report, before any room is made for the body or more of it is read,
// and notes the announced length; any other report goes to `then`.
fetch::ProgressFn stop_past(std::uint64_t ceiling, std::optional<std::uint64_t>& announced, fetch::ProgressFn then) {
  return [ceiling, &announced, then = std::move(then)](std::uint64_t done, std::uint64_t total) {
    if (total > ceiling) {
      announced = total;
      return false;
    }
    return then(done, total);
  };
}

// The manifest's bytes, none for a 304, or the error that ends the check.
tl::expected<std::optional<platform::Bytes>, UpdateError> fetch_manifest(const fetch::ServerUrl& host,
                                                                         const ChannelRequests& requests,
                                                                         const std::atomic<bool>& cancel) {
  const std::string& path = requests.manifest_path;
  std::optional<std::uint64_t> announced;
  auto response = fetch::get_without_redirect(
      host, path, stop_past(manifest_ceiling, announced, fetch::continue_unless_cancelled(cancel)));
  if (announced) {
    return tl::unexpected(map_fetch_error(
        path, fetch::malformed_error(path, fmt::format("the answer for {} announces {} bytes, more than the ceiling "
                                                       "of {} bytes for a release manifest, so the request ended "
                                                       "before its body",
                                                       requests.manifest_url, *announced, manifest_ceiling))));
  }
  if (!response) return tl::unexpected(map_fetch_error(path, std::move(response.error())));
  // get_without_redirect refuses redirects: the answer is a body or a 304.
  if (auto* body = response->get<fetch::Response::Body>()) return std::move(body->body);
  return std::nullopt;
}

// What the channel holds as the manifest's signature.
struct SignatureAnswer {
  // None when the host has no signature (404).
  std::optional<platform::Bytes> bytes;
  // The length announced by an answer past the ceiling, which is not read.
  std::optional<std::uint64_t> unread_length;
};

tl::expected<SignatureAnswer, UpdateError> fetch_signature(const fetch::ServerUrl& host, const std::string& path) {
  // The signature is small and comes right after the manifest: a cancel
  // now would only waste the manifest that already arrived.
  SignatureAnswer answer;
  auto response = fetch::get_without_redirect(
      host, path, stop_past(signature_ceiling, answer.unread_length, fetch::always_continue()));
  if (answer.unread_length) return answer;
  if (!response) {
    if (response.error().is<fetch::FetchError::NotFound>()) return answer;
    return tl::unexpected(map_fetch_error(path, std::move(response.error())));
  }
  if (auto* body = response->get<fetch::Response::Body>()) {
    answer.bytes = std::move(body->body);
    return answer;
  }
  // get_without_redirect refuses redirects, so what is left is a 304.
  return tl::unexpected(map_fetch_error(path, fetch::not_modified_error(path)));
}

// verify_release over the answers; a signature too long to read is refused
// as verify_release refuses every signature that is not 64 bytes long.
tl::expected<VerifiedRelease, UpdateError> verify_answers(const std::string& url, platform::ByteView manifest_bytes,
                                                          const SignatureAnswer& signature, std::string_view product,
                                                          std::string_view channel) {
  if (signature.unread_length) {
    return tl::unexpected(
        UpdateError{UpdateError::NotEd25519{url, *signature.unread_length, ed25519_signature_length}});
  }
  std::optional<platform::ByteView> signature_view;
  if (signature.bytes) signature_view = platform::ByteView(*signature.bytes);
  return verify_release(url, manifest_bytes, signature_view, product, channel);
}

}  // namespace

ChannelRequests channel_requests(const fetch::ServerUrl& host, std::string_view product, std::string_view channel) {
  const std::string channel_path = release_path(product, channel);
  ChannelRequests requests;
  requests.manifest_path = fmt::format("{}/{}", channel_path, manifest_file_name);
  requests.signature_path = fmt::format("{}/{}", channel_path, signature_file_name);
  requests.manifest_url = fmt::format("{}{}", fetch::format_server_url(host), requests.manifest_path);
  return requests;
}

tl::expected<CheckResult, UpdateError> check_release(const fetch::ServerUrl& host, const platform::Path& updates,
                                                     std::string_view product, std::string_view channel,
                                                     const std::atomic<bool>& cancel) {
  const ChannelRequests requests = channel_requests(host, product, channel);
  const std::string& url = requests.manifest_url;

  auto fetched = fetch_manifest(host, requests, cancel);
  if (!fetched) return tl::unexpected(std::move(fetched.error()));
  if (!*fetched) return CheckResult{CheckAnswer::Unchanged, std::nullopt};
  const platform::Bytes manifest_bytes = std::move(**fetched);

  auto signature = fetch_signature(host, requests.signature_path);
  if (!signature) return tl::unexpected(std::move(signature.error()));

  const std::string claimed = claimed_version(manifest_bytes);
  auto verified = verify_answers(url, manifest_bytes, *signature, product, channel);
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

  const auto own = parse_version(config::updater_version);
  if (!own) {
    return tl::unexpected(UpdateError{UpdateError::Unusable{
        url, fmt::format("this build's own version {} is not a semver, so nothing can be compared to it",
                         config::updater_version)}});
  }
  // verify_release accepted the version, so it parses.
  const auto release_version = parse_version(manifest.version);
  const CheckAnswer answer =
      release_version && *release_version > *own ? CheckAnswer::Newer : CheckAnswer::NotNewer;
  return CheckResult{answer, std::move(*verified)};
}

}  // namespace update
