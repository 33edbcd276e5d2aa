// A proxy to connect through, and the settings that say when to use it. How
// they are worked out is proxy_settings.hpp; a proxy address is read by
// proxy_url.hpp.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace fetch {

enum class ProxyKind { Http, Socks5 };

struct ProxyCredentials {
  std::string user;
  std::string password;
  friend bool operator==(const ProxyCredentials&, const ProxyCredentials&) = default;
};

struct ProxyEndpoint {
  ProxyKind kind = ProxyKind::Http;
  std::string host;
  std::optional<ProxyCredentials> credentials;
  std::uint16_t port = 0;
  friend bool operator==(const ProxyEndpoint&, const ProxyEndpoint&) = default;
};

struct ProxySettings {
  std::optional<ProxyEndpoint> endpoint;
  std::vector<std::string> no_proxy;
  bool bypass_all = false;
  friend bool operator==(const ProxySettings&, const ProxySettings&) = default;
};

}  // namespace fetch
