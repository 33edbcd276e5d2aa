#include "fetch/http/goes_direct.hpp"

#include <string>
#include <string_view>

#include "platform/socket.hpp"
#include "platform/text.hpp"

namespace fetch {

using platform::ascii_lower;

namespace {

std::string_view trim_brackets(std::string_view text) {
  while (!text.empty() && (text.front() == '[' || text.front() == ']')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == '[' || text.back() == ']')) text.remove_suffix(1);
  return text;
}

std::string_view trim_trailing_dots(std::string_view text) {
  while (!text.empty() && text.back() == '.') text.remove_suffix(1);
  return text;
}

bool in_v4(const std::uint8_t* a, std::uint8_t b0, std::uint8_t b1, int prefix) {
  const std::uint32_t address = (std::uint32_t{a[0]} << 24) | (std::uint32_t{a[1]} << 16) |
                                (std::uint32_t{a[2]} << 8) | std::uint32_t{a[3]};
  const std::uint32_t network = (std::uint32_t{b0} << 24) | (std::uint32_t{b1} << 16);
  const std::uint32_t mask = ~std::uint32_t{0} << (32 - prefix);
  return (address & mask) == (network & mask);
}

bool private_or_link_local(const platform::SocketAddress& address) {
  const std::uint8_t* a = address.bytes;
  if (!address.ipv6) {
    return in_v4(a, 10, 0, 8) || in_v4(a, 172, 16, 12) || in_v4(a, 192, 168, 16) || in_v4(a, 169, 254, 16) ||
           in_v4(a, 100, 64, 10);
  }
  return (a[0] & 0xfe) == 0xfc ||                   // fc00::/7
         (a[0] == 0xfe && (a[1] & 0xc0) == 0x80);  // fe80::/10
}

}  // namespace

bool goes_direct(const std::string& host, const ProxySettings& settings) {
  const std::string_view t = trim_brackets(host);
  const std::string l = ascii_lower(t);
  if (l == "localhost" || l == "::1" || l.starts_with("127.")) return true;
  if (l.ends_with(".localhost")) return true;

  const auto address = platform::parse_ip_literal(std::string(t), 0);
  if (address && private_or_link_local(*address)) return true;
  if (!address) {
    const std::string n = ascii_lower(trim_trailing_dots(t));
    if (!n.empty() && (n.find('.') == std::string::npos || n.ends_with(".local"))) return true;
  }

  if (settings.bypass_all) return true;

  const std::string m = ascii_lower(trim_trailing_dots(host));
  for (const std::string& entry : settings.no_proxy) {
    std::string_view e = entry;
    while (!e.empty() && e.front() == '.') e.remove_prefix(1);
    if (m == e) return true;
    if (m.size() > e.size() && m.ends_with(e) && m[m.size() - e.size() - 1] == '.') return true;
  }
  return false;
}

}  // namespace fetch
