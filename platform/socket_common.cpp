// The socket operations that every system does the same way, over the
// system's own address calls and Socket.
#include "platform/socket.hpp"

#include "platform/detail/raw_address.hpp"

namespace platform {

std::optional<SocketAddress> parse_ip_literal(const std::string& text, std::uint16_t port) {
  raw::start_socket_library();
  SocketAddress address;
  address.port = port;
  if (::inet_pton(AF_INET, text.c_str(), address.bytes) == 1) return address;
  address.ipv6 = true;
  if (::inet_pton(AF_INET6, text.c_str(), address.bytes) == 1) return address;
  return std::nullopt;
}

std::string address_text(const SocketAddress& address) {
  raw::start_socket_library();
  char buffer[INET6_ADDRSTRLEN] = {};
  ::inet_ntop(address.ipv6 ? AF_INET6 : AF_INET, address.bytes, buffer, sizeof buffer);
  return buffer;
}

tl::expected<void, IoError> Socket::set_receive_timeout(std::chrono::milliseconds timeout) {
  return raw::set_timeout(handle_.get(), SO_RCVTIMEO, timeout);
}

tl::expected<void, IoError> Socket::set_send_timeout(std::chrono::milliseconds timeout) {
  return raw::set_timeout(handle_.get(), SO_SNDTIMEO, timeout);
}

tl::expected<std::chrono::milliseconds, IoError> Socket::receive_timeout() const {
  return raw::get_timeout(handle_.get(), SO_RCVTIMEO);
}

tl::expected<std::chrono::milliseconds, IoError> Socket::send_timeout() const {
  return raw::get_timeout(handle_.get(), SO_SNDTIMEO);
}

tl::expected<void, IoError> Socket::send_all(ByteView bytes) {
  while (!bytes.empty()) {
    auto sent = send(bytes);
    if (!sent) return tl::unexpected(std::move(sent.error()));
    if (*sent == 0) return tl::unexpected(IoError::write_zero());
    bytes = bytes.subspan(*sent);
  }
  return {};
}

tl::expected<Bytes, IoError> Socket::receive_exact(std::size_t count) {
  Bytes bytes(count);
  std::size_t filled = 0;
  while (filled < count) {
    auto got = receive(std::span(bytes).subspan(filled));
    if (!got) return tl::unexpected(std::move(got.error()));
    if (*got == 0) return tl::unexpected(IoError::custom(ErrorKind::UnexpectedEof, "failed to fill whole buffer"));
    filled += *got;
  }
  return bytes;
}

}  // namespace platform
