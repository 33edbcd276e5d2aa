// The process-wide proxy settings: from the environment, else the user's
// Internet Settings.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <tl/expected.hpp>

#include "platform/io_error.hpp"
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

// Where the discovery reads from: an environment variable's raw value, and a
// hidden child process (platform::HiddenRunner: the registry is read by
// running `reg`).
using EnvFn = std::function<std::optional<std::string>(std::string_view name)>;

// compute_proxy_settings reading from the given sources.
ProxySettings compute_proxy_settings_with(const EnvFn& env, const platform::HiddenRunner& run);

// A proxy address ("http://user:pw@host:port", "socks5h://host", "host:port",
// ...); nothing when it cannot be used.
std::optional<ProxyEndpoint> parse_proxy_url(std::string_view text);

// The variable's value trimmed, when it is set, valid UTF-8 and not blank.
std::optional<std::string> env_value(std::string_view name);
std::optional<std::string> env_value_from(const EnvFn& env, std::string_view name);

// The text split at ",", each piece trimmed and ASCII lower-cased, empty
// pieces dropped.
std::vector<std::string> no_proxy_entries(std::string_view text);

// What `reg query` prints for one value of the per-user Internet Settings key
// (UTF-8, invalid bytes replaced); nothing when `reg` cannot be started.
std::optional<std::string> reg_query_internet_settings(std::string_view value_name);
std::optional<std::string> reg_query_internet_settings_with(const platform::HiddenRunner& run,
                                                            std::string_view value_name);

// In "key=value;key=value", the trimmed value of the first entry whose trimmed
// key equals `key` ignoring ASCII case.
std::optional<std::string> lookup_proxy_entry(std::string_view text, std::string_view key);

}  // namespace fetch
