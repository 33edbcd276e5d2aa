// The process-wide proxy settings: from the environment, else the user's
// Internet Settings. What they are read from is proxy_sources.hpp; a proxy
// address is read by proxy_url.hpp.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "fetch/http/proxy_sources.hpp"
#include "platform/process.hpp"

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

// A copy of the settings, worked out on the first call of the process.
ProxySettings proxy_settings();

// The discovery itself: the environment, else the user's Internet Settings.
// It cannot fail; every problem ends in no endpoint.
ProxySettings compute_proxy_settings();

// compute_proxy_settings reading from the given sources (proxy_sources.hpp).
ProxySettings compute_proxy_settings_with(const EnvFn& env, const platform::HiddenRunner& run);

}  // namespace fetch
