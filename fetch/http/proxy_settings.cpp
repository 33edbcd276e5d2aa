#include "fetch/http/proxy_settings.hpp"

#include <mutex>
#include <shared_mutex>

#include <fmt/format.h>

#include "fetch/http/proxy_url.hpp"
#include "platform/env.hpp"
#include "platform/text.hpp"

namespace fetch {

namespace {

// The last word of the text, words being separated by white space.
std::string_view last_word(std::string_view text) {
  std::string_view word;
  std::size_t pos = 0;
  std::size_t word_start = std::string_view::npos;
  while (pos < text.size()) {
    const std::size_t at = pos;
    const bool blank = platform::is_unicode_whitespace(platform::next_code_point(text, pos));
    if (blank) {
      if (word_start != std::string_view::npos) word = text.substr(word_start, at - word_start);
      word_start = std::string_view::npos;
    } else if (word_start == std::string_view::npos) {
      word_start = at;
    }
  }
  if (word_start != std::string_view::npos) word = text.substr(word_start);
  return word;
}

// The data of the first "REG_SZ" line of a `reg query` answer, trimmed.
std::string_view reg_sz_value(std::string_view output) {
  static constexpr std::string_view kType = "REG_SZ";
  std::size_t start = 0;
  while (start <= output.size()) {
    const std::size_t end = output.find('\n', start);
    std::string_view line = output.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (const std::size_t type = line.find(kType); type != std::string_view::npos) {
      std::string_view value = line.substr(type + kType.size());
      value = value.substr(0, value.find(kType));
      return platform::trim_unicode(value);
    }
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
  return {};
}

std::optional<ProxyEndpoint> proxy_from_registry(const platform::HiddenRunner& run) {
  const auto enable = reg_query_internet_settings_with(run, "ProxyEnable");
  if (!enable) return std::nullopt;
  const std::string_view enabled = last_word(*enable);
  if (enabled.empty() || enabled == "0x0" || enabled == "0") return std::nullopt;

  const auto server = reg_query_internet_settings_with(run, "ProxyServer");
  if (!server) return std::nullopt;
  const std::string_view value = reg_sz_value(*server);
  if (value.empty()) return std::nullopt;

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
