// A server's base address: scheme, host, port and path prefix.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include <tl/expected.hpp>

#include "fetch/error.hpp"

namespace fetch {

struct ServerUrl {
  // The host exactly as written (case kept, brackets of an IPv6 literal kept).
  std::string host;
  // Empty, or beginning with "/" and never ending with "/".
  std::string prefix;
  // As written, else 443 for https and 80 for http.
  std::uint16_t port = 0;
  bool https = false;
  bool operator==(const ServerUrl&) const = default;
};

// Reads "http[s]://host[:port][/prefix]". Failures are FetchError::BadUrl
// carrying the whole text.
tl::expected<ServerUrl, FetchError> parse_server_url(std::string_view text);

// "scheme://host:port/prefix", the port always written.
std::string format_server_url(const ServerUrl& url);

// FetchError::Unreachable and FetchError::TlsRefused for the server.
FetchError unreachable_error(const ServerUrl& url, std::string reason);
FetchError tls_refused_error(const ServerUrl& url, std::string reason);

}  // namespace fetch
