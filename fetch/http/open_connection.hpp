// Opening the connection for one request: direct or through the configured
// proxy, then TLS for https.
#pragma once

#include <cstdint>

#include <tl/expected.hpp>

#include "fetch/error.hpp"
#include "fetch/http/connection.hpp"
#include "fetch/http/server_url.hpp"

namespace fetch {

// A connection to the server, direct or through the configured proxy, with
// the receive time-out set to the given seconds (the send time-out stays at
// connect_tcp's 10 seconds) and, for https, the TLS handshake complete.
tl::expected<HttpConnection, FetchError> open_connection(const ServerUrl& url, std::uint32_t receive_timeout_seconds);

}  // namespace fetch
