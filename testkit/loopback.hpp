// Loopback addresses and ports for the tests' own servers.
#pragma once

#include <cstdint>
#include <string>

#include "platform/socket.hpp"

namespace testkit {

// 127.0.0.1 (or another 127.x.y.z given as text) and ::1 with a port.
platform::SocketAddress loopback4(std::uint16_t port, const std::string& ip = "127.0.0.1");
platform::SocketAddress loopback6(std::uint16_t port);

// A port on 127.0.0.1 that nothing listens on right now (picked by the
// system, then released).
std::uint16_t free_loopback_port();

// A loopback port that takes no connection: its listener's queue is full, so
// a connect to it is never answered and runs into its time-out.
class UnansweringPort {
 public:
  explicit UnansweringPort(const std::string& ip = "127.0.0.1");
  const platform::SocketAddress& address() const { return address_; }
  std::uint16_t port() const { return address_.port; }

 private:
  platform::Listener listener_;
  platform::Socket filler_;
  platform::SocketAddress address_;
};

// A listener on a loopback port that accepts when asked.
class LoopbackListener {
 public:
  explicit LoopbackListener(const platform::SocketAddress& where = loopback4(0));
  const platform::SocketAddress& address() const { return address_; }
  std::uint16_t port() const { return address_.port; }
  // The next connection, waiting at most 5 seconds; throws when none came.
  platform::Socket accept();

 private:
  platform::Listener listener_;
  platform::SocketAddress address_;
};

}  // namespace testkit
