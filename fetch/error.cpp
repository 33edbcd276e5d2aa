#include "fetch/error.hpp"

#include <fmt/format.h>

#include "fetch/debug_quote.hpp"
#include "platform/overloaded.hpp"

namespace fetch {

// The fetch client's sentences are fixed word for word, even where they
// speak of "the training-data server", a "snapshot" or "this cache" that
// this program does not have: they are the client's own wherever it is used,
// and every sentence built on them carries them unchanged (the updater's
// UpdateError::Unreachable, setup.log, the installer's failure texts), so a
// reworded one would change what users and the logs' readers see. Change
// none here.
std::string format_fetch_error(const FetchError& error) {
  return std::visit(
      platform::Overloaded{
          [](const FetchError::BadUrl& e) {
            return fmt::format("bad server URL {}: {} (expected http[s]://host[:port][/prefix])",
                               debug_quote(e.url), e.reason);
          },
          [](const FetchError::Unreachable& e) {
            return fmt::format("cannot reach the training-data server at {}: {}", e.url, e.reason);
          },
          [](const FetchError::TlsRefused& e) {
            return fmt::format(
                "TLS refused the connection to {}: {} — the certificate was not acceptable, "
                "and nothing was fetched. There is no option to continue anyway; a client that "
                "ignored this would be a client with no TLS at all.",
                e.url, e.reason);
          },
          [](const FetchError::NotFound& e) {
            return fmt::format(
                "the training-data server has no {} (HTTP 404) — the span may reach past the "
                "published snapshot, or the server's lake is a different snapshot than this cache",
                e.target);
          },
          [](const FetchError::HttpStatus& e) {
            return fmt::format("the training-data server answered HTTP {} for {}: {}", e.status,
                               e.target, e.message);
          },
          [](const FetchError::Malformed& e) {
            return fmt::format("malformed HTTP response from the training-data server for {}: {}",
                               e.target, e.reason);
          },
          [](const FetchError::Io& e) { return fmt::format("io error at {}: {}", e.at, e.message); },
          [](const FetchError::Cancelled&) {
            return std::string(
                "the download was cancelled — nothing partial was installed, and everything "
                "already downloaded is verified and kept");
          },
      },
      error.value);
}

FetchError bad_url_error(std::string url, std::string reason) {
  return {FetchError::BadUrl{std::move(url), std::move(reason)}};
}

FetchError unreachable_error_at(std::string url, std::string reason) {
  return {FetchError::Unreachable{std::move(url), std::move(reason)}};
}

FetchError tls_refused_error_at(std::string url, std::string reason) {
  return {FetchError::TlsRefused{std::move(url), std::move(reason)}};
}

FetchError malformed_error(std::string target, std::string reason) {
  return {FetchError::Malformed{std::move(target), std::move(reason)}};
}

FetchError not_modified_error(std::string target) {
  return malformed_error(std::move(target),
                         "the server answered 304 Not Modified to a request that carried no "
                         "validator — there was nothing for it to compare against");
}

FetchError fetch_io_error(const platform::Path& path, const platform::IoError& error) {
  return {FetchError::Io{platform::display(path), error.text()}};
}

FetchError no_memory_error(std::string target, std::uint64_t bytes) {
  return {FetchError::Io{std::move(target), fmt::format("no memory for {} bytes", bytes)}};
}

}  // namespace fetch
