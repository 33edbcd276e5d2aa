#include "fetch/http/tunnel_wire.hpp"

#include <fmt/format.h>

namespace fetch {

using platform::ErrorKind;
using platform::IoError;

std::string peer_text(const platform::Socket& socket) {
  auto peer = socket.peer_address();
  if (!peer) return "the proxy";
  const std::string address = platform::address_text(*peer);
  if (!peer->ipv6) return fmt::format("{}:{}", address, peer->port);
  if (peer->scope_id != 0) return fmt::format("[{}%{}]:{}", address, peer->scope_id, peer->port);
  return fmt::format("[{}]:{}", address, peer->port);
}

TunnelFailures::TunnelFailures(platform::Socket& socket, const std::string& host, std::uint16_t port)
    : socket_(socket), proxy_(peer_text(socket)), target_(fmt::format("{}:{}", host, port)) {}

tl::unexpected<ConnectError> TunnelFailures::fail(ConnectError error) {
  socket_.close();
  return tl::unexpected(std::move(error));
}

tl::unexpected<ConnectError> TunnelFailures::silent(const IoError& error) {
  return fail(ConnectError{ConnectError::ProxySilent{proxy_, error.text()}});
}

tl::unexpected<ConnectError> TunnelFailures::refused(std::string reason) {
  return fail(ConnectError{ConnectError::ProxyRefused{proxy_, std::move(reason)}});
}

tl::unexpected<ConnectError> TunnelFailures::not_a_proxy(std::string reason) {
  return fail(ConnectError{ConnectError::NotAProxy{proxy_, std::move(reason)}});
}

tl::unexpected<ConnectError> TunnelFailures::cannot_reach(std::string reason) {
  return fail(ConnectError{ConnectError::ProxyCannotReach{proxy_, target_, std::move(reason)}});
}

tl::unexpected<ConnectError> TunnelFailures::bad_address(std::string reason) {
  return fail(ConnectError{ConnectError::ProxyAddress{std::move(reason)}});
}

std::string base64_encode(std::string_view bytes) {
  static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  std::size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    const unsigned v = (static_cast<unsigned char>(bytes[i]) << 16) | (static_cast<unsigned char>(bytes[i + 1]) << 8) |
                       static_cast<unsigned char>(bytes[i + 2]);
    out += kAlphabet[(v >> 18) & 63];
    out += kAlphabet[(v >> 12) & 63];
    out += kAlphabet[(v >> 6) & 63];
    out += kAlphabet[v & 63];
  }
  const std::size_t rest = bytes.size() - i;
  if (rest > 0) {
    unsigned v = static_cast<unsigned char>(bytes[i]) << 16;
    if (rest == 2) v |= static_cast<unsigned char>(bytes[i + 1]) << 8;
    out += kAlphabet[(v >> 18) & 63];
    out += kAlphabet[(v >> 12) & 63];
    out += rest == 2 ? kAlphabet[(v >> 6) & 63] : '=';
    out += '=';
  }
  return out;
}

}  // namespace fetch
