#include "fetch/http/proxy_settings.hpp"

#include <mutex>
#include <shared_mutex>

#include <fmt/format.h>

#include "fetch/http/proxy_url.hpp"
#include "platform/env.hpp"
#include "platform/reg_output.hpp"

namespace fetch {

namespace {

std::optional<ProxyEndpoint> proxy_from_registry(const platform::HiddenRunner& run) {
  const auto enable = reg_query_internet_settings_with(run, "ProxyEnable");
  if (!enable) return std::nullopt;
  const auto enabled = platform::reg_query_data(*enable, "ProxyEnable", "REG_DWORD");
  if (!enabled || *enabled == "0x0" || *enabled == "0") return std::nullopt;

  const auto server = reg_query_internet_settings_with(run, "ProxyServer");
  if (!server) return std::nullopt;
  const auto data = platform::reg_query_data(*server, "ProxyServer", "REG_SZ");
  if (!data) return std::nullopt;
  const std::string_view value = *data;

  std::string address;
  if (auto https = lookup_proxy_entry(value, "https")) {
    address = std::move(*https);
  } else if (auto http = lookup_proxy_entry(value, "http")) {
    address = std::move(*http);
  } else if (auto socks = lookup_proxy_entry(value, "socks")) {
    address = fmt::format("socks5://{}", *socks);
  } else {
    address = std::string(value);
  }
  return parse_proxy_url(address);
}

struct Cache {
  std::shared_mutex lock;
  std::optional<ProxySettings> settings;
};

Cache& cache() {
  static Cache instance;
  return instance;
}

}  // namespace

ProxySettings compute_proxy_settings_with(const EnvFn& env, const platform::HiddenRunner& run) {
  ProxySettings settings;

  auto no_proxy = env_value_from(env, "NO_PROXY");
  if (!no_proxy) no_proxy = env_value_from(env, "no_proxy");
  if (no_proxy && *no_proxy == "*") {
    settings.bypass_all = true;
  } else if (no_proxy) {
    settings.no_proxy = no_proxy_entries(*no_proxy);
  }

  // The first variable that is set decides, even when its value is unusable:
  // a refused value does not fall back to the next one nor to the registry.
  for (const char* name : {"HTTPS_PROXY", "https_proxy", "ALL_PROXY", "all_proxy"}) {
    if (auto value = env_value_from(env, name)) {
      settings.endpoint = parse_proxy_url(*value);
      return settings;
    }
  }

  settings.endpoint = proxy_from_registry(run);
  return settings;
}

ProxySettings compute_proxy_settings() {
  return compute_proxy_settings_with(&platform::env_var, &platform::run_hidden);
}

ProxySettings proxy_settings() {
  Cache& shared = cache();
  {
    std::shared_lock read(shared.lock);
    if (shared.settings) return *shared.settings;
  }
  // The discovery may run child processes: no lock is held meanwhile.
  ProxySettings computed = compute_proxy_settings();
  std::unique_lock write(shared.lock);
  if (!shared.settings) shared.settings = std::move(computed);
  return *shared.settings;
}

}  // namespace fetch
