// The byte-level helpers that the proxy tunnels share.
#pragma once

#include <cstddef>
#include <string>

#include <tl/expected.hpp>

#include "fetch/http/connect_error.hpp"
#include "platform/bytes.hpp"
#include "platform/io_error.hpp"
#include "platform/socket.hpp"

namespace fetch {

// The proxy as error sentences name it: "a.b.c.d:port", "[v6]:port" or
// "[v6%scope]:port"; "the proxy" when the peer address cannot be read.
std::string peer_text(const platform::Socket& socket);

// A send or receive of a tunnel failed.
ConnectError proxy_silent_error(const std::string& proxy, platform::IoError error);

// The standard Base64 (RFC 4648, padded) of the bytes.
std::string base64_encode(std::string_view bytes);

}  // namespace fetch
