// The fetch client's error: one of eight variants, each carrying the texts
// its sentence needs, displayed as one English sentence.
#pragma once

#include <cstdint>
#include <string>
#include <variant>

#include "platform/io_error.hpp"
#include "platform/one_of.hpp"
#include "platform/path.hpp"

namespace fetch {

// The alternatives of a FetchError, which holds one of them.
struct FetchErrorCases {
  // A server URL that cannot be used. `url` is the text as given.
  struct BadUrl {
    std::string url;
    std::string reason;
    bool operator==(const BadUrl&) const = default;
  };
  // No connection was made, or the request failed to go out.
  struct Unreachable {
    std::string url;
    std::string reason;
    bool operator==(const Unreachable&) const = default;
  };
  // The TLS session failed to start or its handshake failed.
  struct TlsRefused {
    std::string url;
    std::string reason;
    bool operator==(const TlsRefused&) const = default;
  };
  // The server answered HTTP 404 for the request target.
  struct NotFound {
    std::string target;
    bool operator==(const NotFound&) const = default;
  };
  // An answer whose status the request does not accept, or a redirect.
  struct HttpStatus {
    std::string target;
    std::string message;
    std::uint16_t status = 0;
    bool operator==(const HttpStatus&) const = default;
  };
  // An answer that breaks the response rules, or a download whose pieces did
  // not add up to the file.
  struct Malformed {
    std::string target;
    std::string reason;
    bool operator==(const Malformed&) const = default;
  };
  // A local file failed to open or to read. `at` is the path as displayed,
  // `message` the I/O error's display text.
  struct Io {
    std::string at;
    std::string message;
    bool operator==(const Io&) const = default;
  };
  // A progress callback asked to stop.
  struct Cancelled {
    bool operator==(const Cancelled&) const = default;
  };

  std::variant<BadUrl, Unreachable, TlsRefused, NotFound, HttpStatus, Malformed, Io, Cancelled> value;

  bool operator==(const FetchErrorCases&) const = default;
};
using FetchError = platform::OneOf<FetchErrorCases>;

// The display sentence of the error.
std::string format_fetch_error(const FetchError& error);

FetchError bad_url_error(std::string url, std::string reason);

// The HTTP client's builders take its ServerUrl; these take the URL already
// written by format_server_url.
FetchError unreachable_error_at(std::string url, std::string reason);
FetchError tls_refused_error_at(std::string url, std::string reason);

FetchError malformed_error(std::string target, std::string reason);

// The 304 answer to a request that carried no validator (no request of this
// program carries one).
FetchError not_modified_error(std::string target);

// A local file operation that failed: the path as displayed and the error's
// display text.
FetchError fetch_io_error(const platform::Path& path, const platform::IoError& error);

// No memory for the `bytes` that a download of `target` must hold at once:
// FetchError::Io at the target, "no memory for <bytes> bytes".
FetchError no_memory_error(std::string target, std::uint64_t bytes);

}  // namespace fetch
