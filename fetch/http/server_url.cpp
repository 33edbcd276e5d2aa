#include "fetch/http/server_url.hpp"

#include <fmt/format.h>

#include "fetch/http/decimal.hpp"

namespace fetch {

tl::expected<ServerUrl, FetchError> parse_server_url(std::string_view text) {
  const auto refuse = [&](const char* reason) {
    return tl::unexpected(bad_url_error(std::string(text), reason));
  };

  ServerUrl url;
  std::string_view rest;
  if (text.starts_with("https://")) {
    url.https = true;
    rest = text.substr(8);
  } else if (text.starts_with("http://")) {
    url.https = false;
    rest = text.substr(7);
  } else {
    return refuse("missing http:// or https:// scheme");
  }

  std::string_view authority = rest;
  if (const auto slash = rest.find('/'); slash != std::string_view::npos) {
    authority = rest.substr(0, slash);
    std::string_view prefix = rest.substr(slash);
    while (!prefix.empty() && prefix.back() == '/') prefix.remove_suffix(1);
    url.prefix = std::string(prefix);
  }
  if (authority.empty()) return refuse("empty host");

  if (const auto colon = authority.rfind(':'); colon != std::string_view::npos) {
    const auto port = parse_unsigned_decimal<std::uint16_t>(authority.substr(colon + 1));
    if (!port) return refuse("port is not a number");
    url.host = std::string(authority.substr(0, colon));
    url.port = *port;
  } else {
    url.host = std::string(authority);
    url.port = url.https ? 443 : 80;
  }
  return url;
}

std::string format_server_url(const ServerUrl& url) {
  return fmt::format("{}{}:{}{}", url.https ? "https://" : "http://", url.host, url.port, url.prefix);
}

FetchError unreachable_error(const ServerUrl& url, std::string reason) {
  return unreachable_error_at(format_server_url(url), std::move(reason));
}

FetchError tls_refused_error(const ServerUrl& url, std::string reason) {
  return tls_refused_error_at(format_server_url(url), std::move(reason));
}

}  // namespace fetch
