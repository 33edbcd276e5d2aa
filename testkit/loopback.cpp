#include "testkit/loopback.hpp"

#include <stdexcept>

namespace testkit {

namespace {

platform::Listener must_bind(const platform::SocketAddress& where, int backlog) {
  auto listener = platform::Listener::bind(where, backlog);
  if (!listener) throw std::runtime_error("cannot listen on loopback: " + listener.error().text());
  return std::move(*listener);
}

platform::SocketAddress bound_address(const platform::Listener& listener) {
  auto address = listener.local_address();
  if (!address) throw std::runtime_error("cannot read the listener's address: " + address.error().text());
  return *address;
}

}  // namespace

platform::SocketAddress loopback4(std::uint16_t port, const std::string& ip) {
  auto address = platform::parse_ip_literal(ip, port);
  if (!address || address->ipv6) throw std::invalid_argument("not an IPv4 address: " + ip);
  return *address;
}

platform::SocketAddress loopback6(std::uint16_t port) { return *platform::parse_ip_literal("::1", port); }

std::uint16_t free_loopback_port() {
  platform::Listener listener = must_bind(loopback4(0), 1);
  return bound_address(listener).port;
}

UnansweringPort::UnansweringPort(const std::string& ip) {
  const auto where = ip.find(':') == std::string::npos ? loopback4(0, ip) : *platform::parse_ip_literal(ip, 0);
  // A backlog of 0 holds one connection; the filler takes that place.
  listener_ = must_bind(where, 0);
  address_ = bound_address(listener_);
  auto filler = platform::Socket::connect(address_, std::chrono::seconds(2));
  if (!filler) throw std::runtime_error("cannot fill the listener's queue: " + filler.error().text());
  filler_ = std::move(*filler);
}

LoopbackListener::LoopbackListener(const platform::SocketAddress& where)
    : listener_(must_bind(where, 64)), address_(bound_address(listener_)) {}

platform::Socket LoopbackListener::accept() {
  auto socket = listener_.accept(std::chrono::seconds(5));
  if (!socket) throw std::runtime_error("no connection came: " + socket.error().text());
  return std::move(*socket);
}

}  // namespace testkit
