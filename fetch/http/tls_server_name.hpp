// The server name a TLS session verifies the certificate against: a DNS name
// or an IP address, taken from the host text as the URL writes it.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace fetch {

struct TlsServerName {
  enum class Kind { Dns, Ip };
  Kind kind = Kind::Dns;
  // A DNS name without its trailing dot (as server name indication sends it
  // and the certificate names it), or the address text.
  std::string text;
  bool operator==(const TlsServerName&) const = default;
};

// True for a DNS name: 1 to 253 characters; labels of 1 to 63 ASCII letters,
// digits, "-" and "_", none starting or ending with "-"; the last label not
// digits alone; one trailing dot allowed.
bool is_dns_name(std::string_view text);

// A DNS name when the text is one, else an IP address when it is an IPv4
// address in dotted-decimal form or an IPv6 address without brackets, else
// nothing.
std::optional<TlsServerName> tls_server_name(std::string_view host);

}  // namespace fetch
