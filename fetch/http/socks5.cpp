// The SOCKS5 tunnel (RFC 1928), with user/password authentication (RFC 1929).
#include <string>

#include <fmt/format.h>

#include "fetch/http/tunnel.hpp"
#include "fetch/http/tunnel_wire.hpp"
#include "morvane/config.hpp"

namespace fetch {

namespace {

using platform::Bytes;
using platform::ErrorKind;

constexpr std::uint8_t kVersion = 5;
constexpr std::uint8_t kNoAuthentication = 0x00;
constexpr std::uint8_t kUserPassword = 0x02;
constexpr std::uint8_t kNoAcceptableMethod = 0xFF;
constexpr std::uint8_t kConnect = 0x01;
constexpr std::uint8_t kDomainName = 0x03;

const char* reply_reason(std::uint8_t code) {
  switch (code) {
    case 1: return "the proxy failed";
    case 2: return "the proxy's own rules forbid this connection";
    case 3: return "the network is unreachable from the proxy";
    case 4: return "the host is unreachable from the proxy";
    case 5: return "the far side refused the connection";
    case 6: return "the connection timed out";
    case 7: return "the proxy does not support this kind of connection";
    case 8: return "the proxy does not support this kind of address";
    default: return "the proxy refused, without saying why";
  }
}

void append(Bytes& out, std::string_view text) { out.insert(out.end(), text.begin(), text.end()); }

}  // namespace

tl::expected<void, ConnectError> socks5_tunnel(platform::Socket& socket, const ProxyEndpoint& proxy,
                                               const std::string& host, std::uint16_t port) {
  TunnelFailures failures(socket, host, port);

  // Greeting: the methods this client speaks.
  const Bytes greeting =
      proxy.credentials ? Bytes{kVersion, 2, kNoAuthentication, kUserPassword} : Bytes{kVersion, 1, kNoAuthentication};
  if (auto sent = socket.send_all(greeting); !sent) return failures.silent(sent.error());
  auto choice = socket.receive_exact(2);
  if (!choice) return failures.silent(choice.error());
  const std::uint8_t version = (*choice)[0];
  const std::uint8_t method = (*choice)[1];
  if (version != kVersion) {
    return failures.not_a_proxy(
        fmt::format("it answered SOCKS version {}, not 5 \u2014 is it an HTTP proxy?", version));
  }
  if (method == kNoAcceptableMethod) {
    return failures.refused(
        fmt::format("it accepted none of the ways {} can identify itself", config::product_name));
  }
  if (method != kNoAuthentication && method != kUserPassword) {
    return failures.not_a_proxy(
        fmt::format("it chose authentication method 0x{:02x}, which {} does not speak", method, config::product_name));
  }
  if (method == kUserPassword && !proxy.credentials) {
    return failures.refused("it wants a username and password, and the proxy address carries none");
  }

  if (method == kUserPassword) {
    const auto& [user, password] = *proxy.credentials;
    if (user.size() > 255 || password.size() > 255) {
      return failures.bad_address("a SOCKS5 username or password may not exceed 255 bytes");
    }
    Bytes login{0x01, static_cast<std::uint8_t>(user.size())};
    append(login, user);
    login.push_back(static_cast<std::uint8_t>(password.size()));
    append(login, password);
    if (auto sent = socket.send_all(login); !sent) return failures.silent(sent.error());
    auto status = socket.receive_exact(2);
    if (!status) return failures.silent(status.error());
    if ((*status)[1] != 0) {
      return failures.refused("it did not accept the username and password in the proxy address");
    }
  }

  // The target always goes as a name, so the proxy does the resolving.
  if (host.size() > 255) return failures.bad_address("the host name is longer than SOCKS5 allows");
  Bytes request{kVersion, kConnect, 0x00, kDomainName, static_cast<std::uint8_t>(host.size())};
  append(request, host);
  request.push_back(static_cast<std::uint8_t>(port >> 8));
  request.push_back(static_cast<std::uint8_t>(port & 0xFF));
  if (auto sent = socket.send_all(request); !sent) return failures.silent(sent.error());

  auto reply = socket.receive_exact(4);
  if (!reply) {
    if (reply.error().kind() == ErrorKind::UnexpectedEof) {
      return failures.cannot_reach(
          "it closed the connection instead of answering (an SSH dynamic forward does this when it cannot reach the "
          "target)");
    }
    return failures.silent(reply.error());
  }
  const std::uint8_t code = (*reply)[1];
  const std::uint8_t address_type = (*reply)[3];
  if (code != 0) return failures.cannot_reach(reply_reason(code));

  // The bound address is read and dropped.
  std::size_t bound = 0;
  switch (address_type) {
    case 1: bound = 6; break;
    case 4: bound = 18; break;
    case 3: {
      auto length = socket.receive_exact(1);
      if (!length) return failures.silent(length.error());
      bound = static_cast<std::size_t>((*length)[0]) + 2;
      break;
    }
    default: return failures.not_a_proxy(fmt::format("it bound an address of type 0x{:02x}", address_type));
  }
  if (auto rest = socket.receive_exact(bound); !rest) return failures.silent(rest.error());
  return {};
}

}  // namespace fetch
