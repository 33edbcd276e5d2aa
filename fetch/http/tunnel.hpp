// Tunnels through a proxy: HTTP CONNECT (http_connect.cpp) and SOCKS5
// (socks5.cpp), which share their bytes on the wire and their failure
// sentences' parts (tunnel_wire.hpp).
#pragma once

#include <cstdint>
#include <string>

#include <tl/expected.hpp>

#include "fetch/http/connect_error.hpp"
#include "fetch/http/proxy_endpoint.hpp"
#include "platform/socket.hpp"

namespace fetch {

// On success the socket carries the server's traffic; nothing past the
// proxy's answer has been read. On failure the socket is closed.
tl::expected<void, ConnectError> http_connect_tunnel(platform::Socket& socket, const ProxyEndpoint& proxy,
                                                     const std::string& host, std::uint16_t port);
tl::expected<void, ConnectError> socks5_tunnel(platform::Socket& socket, const ProxyEndpoint& proxy,
                                               const std::string& host, std::uint16_t port);

}  // namespace fetch
