// TCP sockets (Winsock 2 on Windows, BSD sockets here).
//
// A Socket owns its descriptor and closes it when it goes away. Every error
// is an IoError whose text is the system's; a receive that runs into the
// receive time-out reports the system's time-out text (on Windows
// WSAETIMEDOUT; here EAGAIN from SO_RCVTIMEO is reported as ETIMEDOUT).
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include <tl/expected.hpp>

#include "platform/bytes.hpp"
#include "platform/io_error.hpp"
#include "platform/owned_handle.hpp"

namespace platform {

// An IPv4 or IPv6 socket address.
struct SocketAddress {
  bool ipv6 = false;
  std::uint8_t bytes[16] = {};  // 4 used for IPv4
  std::uint16_t port = 0;
  std::uint32_t scope_id = 0;  // IPv6 only
  friend bool operator==(const SocketAddress&, const SocketAddress&) = default;
};

// An IPv4 address in dotted-decimal form or an IPv6 address in its standard
// text form (no brackets), with the port; nothing for any other text.
std::optional<SocketAddress> parse_ip_literal(const std::string& text, std::uint16_t port);

// The standard text of the address alone (no port, no brackets, no scope).
std::string address_text(const SocketAddress& address);

// getaddrinfo with any family and the stream socket type, the host's bytes as
// the node name and no service; IPv4 and IPv6 results in the resolver's order.
tl::expected<std::vector<SocketAddress>, IoError> resolve_host(const std::string& host, std::uint16_t port);

class Socket {
 public:
  Socket() = default;
  // Connects with a time-out; a connect that does not finish in time fails
  // with kind TimedOut and the text "connection timed out".
  static tl::expected<Socket, IoError> connect(const SocketAddress& address, std::chrono::milliseconds timeout);

  Socket(Socket&& other) noexcept = default;
  Socket& operator=(Socket&& other) noexcept = default;
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;
  ~Socket() = default;

  bool is_open() const { return static_cast<bool>(handle_); }
  void close() { handle_.reset(); }
  // Ends the sending direction: the peer reads the end of the stream while
  // this side can still receive.
  tl::expected<void, IoError> shutdown_write();

  tl::expected<void, IoError> set_receive_timeout(std::chrono::milliseconds timeout);
  tl::expected<void, IoError> set_send_timeout(std::chrono::milliseconds timeout);
  tl::expected<std::chrono::milliseconds, IoError> receive_timeout() const;
  tl::expected<std::chrono::milliseconds, IoError> send_timeout() const;

  // One send; the number of bytes taken (an interrupted send is repeated).
  tl::expected<std::size_t, IoError> send(ByteView bytes);
  // One receive into the buffer; 0 when the peer closed (an interrupted
  // receive is repeated).
  tl::expected<std::size_t, IoError> receive(std::span<std::uint8_t> buffer);

  // Sends until every byte is out; a send that takes nothing ends it with
  // "failed to write whole buffer" (kind WriteZero).
  tl::expected<void, IoError> send_all(ByteView bytes);
  // Receives exactly `count` bytes; a peer that closes first ends it with
  // "failed to fill whole buffer" (kind UnexpectedEof).
  tl::expected<Bytes, IoError> receive_exact(std::size_t count);

  // getpeername.
  tl::expected<SocketAddress, IoError> peer_address() const;
  // getsockname.
  tl::expected<SocketAddress, IoError> local_address() const;

  // The raw descriptor, for the TLS library's socket BIO.
  std::intptr_t native_handle() const { return handle_.get(); }

 private:
  friend class Listener;
  // A descriptor here, a SOCKET on Windows; -1 (INVALID_SOCKET there) when
  // there is none. Listener holds its socket the same way.
  struct HandleTraits {
    using Value = std::intptr_t;
    static Value none() { return -1; }
    static bool is_open(Value value) { return value != -1; }
    static void close(Value value) noexcept;
  };

  explicit Socket(std::intptr_t handle) : handle_(handle) {}
  OwnedHandle<HandleTraits> handle_;
};

// A listening TCP socket (the tests' loopback servers use it).
class Listener {
 public:
  Listener() = default;
  // Binds to the address (port 0 picks a free port) and listens with the
  // given backlog. A backlog of 0 takes one connection into its queue and
  // leaves later ones unanswered until that one is accepted.
  static tl::expected<Listener, IoError> bind(const SocketAddress& address, int backlog = 64);

  Listener(Listener&& other) noexcept = default;
  Listener& operator=(Listener&& other) noexcept = default;
  Listener(const Listener&) = delete;
  Listener& operator=(const Listener&) = delete;
  ~Listener() = default;

  bool is_open() const { return static_cast<bool>(handle_); }
  void close() { handle_.reset(); }

  // The bound address, with the port the system picked.
  tl::expected<SocketAddress, IoError> local_address() const;
  // Waits up to `timeout` for a connection; kind TimedOut when none came.
  tl::expected<Socket, IoError> accept(std::chrono::milliseconds timeout);

 private:
  explicit Listener(std::intptr_t handle) : handle_(handle) {}
  OwnedHandle<Socket::HandleTraits> handle_;
};

}  // namespace platform
