// Reading a proxy address such as "http://user:pw@proxy.corp:3128" or
// "socks5h://[::1]:1080".
#pragma once

#include <optional>
#include <string_view>

#include "fetch/http/proxy_endpoint.hpp"

namespace fetch {

// A proxy address ("http://user:pw@host:port", "socks5h://host", "host:port",
// ...); nothing when it cannot be used.
std::optional<ProxyEndpoint> parse_proxy_url(std::string_view text);

}  // namespace fetch
