#include "fetch/http/proxy_url.hpp"

#include <charconv>
#include <string>

#include "platform/text.hpp"

namespace fetch {

using platform::ascii_lower;

namespace {

std::optional<ProxyKind> kind_of_scheme(const std::string& scheme) {
  if (scheme == "http") return ProxyKind::Http;
  if (scheme == "socks5" || scheme == "socks5h" || scheme == "socks") return ProxyKind::Socks5;
  return std::nullopt;
}

// An unsigned decimal port with an optional leading "+".
std::optional<std::uint16_t> parse_port(std::string_view text) {
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (text.empty()) return std::nullopt;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
  }
  unsigned value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value > 65535) return std::nullopt;
  return static_cast<std::uint16_t>(value);
}

std::string_view strip_brackets(std::string_view host) {
  auto bracket = [](char c) { return c == '[' || c == ']'; };
  while (!host.empty() && bracket(host.front())) host.remove_prefix(1);
  while (!host.empty() && bracket(host.back())) host.remove_suffix(1);
  return host;
}

}  // namespace

std::optional<ProxyEndpoint> parse_proxy_url(std::string_view text) {
  text = platform::trim_unicode(text);

  std::string scheme = "http";
  std::string_view rest = text;
  if (const std::size_t separator = text.find("://"); separator != std::string_view::npos) {
    scheme = ascii_lower(text.substr(0, separator));
    rest = text.substr(separator + 3);
  }
  const auto kind = kind_of_scheme(scheme);
  if (!kind) return std::nullopt;

  ProxyEndpoint endpoint;
  endpoint.kind = *kind;
  std::string_view remainder = rest;
  if (const std::size_t at = rest.rfind('@'); at != std::string_view::npos) {
    const std::string_view user_info = rest.substr(0, at);
    remainder = rest.substr(at + 1);
    const std::size_t colon = user_info.find(':');
    ProxyCredentials credentials;
    credentials.user = std::string(user_info.substr(0, colon));
    if (colon != std::string_view::npos) credentials.password = std::string(user_info.substr(colon + 1));
    endpoint.credentials = std::move(credentials);
  }

  const std::string_view authority = remainder.substr(0, remainder.find_first_of("/?#"));
  if (authority.empty()) return std::nullopt;

  std::string_view host_part = authority;
  std::string_view port_text;
  if (const std::size_t colon = authority.rfind(':'); colon != std::string_view::npos) {
    host_part = authority.substr(0, colon);
    port_text = authority.substr(colon + 1);
  }
  const std::string_view host = strip_brackets(host_part);
  if (host.empty()) return std::nullopt;
  endpoint.host = std::string(host);

  if (port_text.empty()) {
    endpoint.port = endpoint.kind == ProxyKind::Http ? 8080 : 1080;
  } else {
    const auto port = parse_port(port_text);
    if (!port) return std::nullopt;
    endpoint.port = *port;
  }
  return endpoint;
}

}  // namespace fetch
