// The byte-level helpers that the proxy tunnels share.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include <tl/expected.hpp>

#include "fetch/http/connect_error.hpp"
#include "platform/bytes.hpp"
#include "platform/io_error.hpp"
#include "platform/socket.hpp"

namespace fetch {

// The proxy as error sentences name it: "a.b.c.d:port", "[v6]:port" or
// "[v6%scope]:port"; "the proxy" when the peer address cannot be read.
std::string peer_text(const platform::Socket& socket);

// How a tunnel fails: every failure closes the socket and names the proxy
// as peer_text gives it, read when the tunnel begins, and (where its
// sentence does) the target "<host>:<port>".
class TunnelFailures {
 public:
  TunnelFailures(platform::Socket& socket, const std::string& host, std::uint16_t port);

  const std::string& target() const { return target_; }

  // Closes the socket and answers with the error.
  tl::unexpected<ConnectError> fail(ConnectError error);
  // A send or receive failed: ConnectError::ProxySilent.
  tl::unexpected<ConnectError> silent(const platform::IoError& error);
  // ConnectError::ProxyRefused, ConnectError::NotAProxy,
  // ConnectError::ProxyCannotReach and ConnectError::ProxyAddress with the
  // reason.
  tl::unexpected<ConnectError> refused(std::string reason);
  tl::unexpected<ConnectError> not_a_proxy(std::string reason);
  tl::unexpected<ConnectError> cannot_reach(std::string reason);
  tl::unexpected<ConnectError> bad_address(std::string reason);

 private:
  platform::Socket& socket_;
  std::string proxy_;
  std::string target_;
};

// The standard Base64 (RFC 4648, padded) of the bytes.
std::string base64_encode(std::string_view bytes);

}  // namespace fetch
