// TCP sockets over Winsock 2. The library is started (WSAStartup) once, by
// the first call that needs it, and stays up for the life of the process.
#include <winsock2.h>
#include <ws2tcpip.h>

#include "platform/socket.hpp"

#include <cstring>
#include <memory>
#include <mutex>

#include "platform/detail/raw_address.hpp"

namespace platform {

namespace {

using Clock = std::chrono::steady_clock;

IoError last_socket_error() { return IoError::from_os(::WSAGetLastError()); }

SOCKET as_socket(std::intptr_t handle) { return static_cast<SOCKET>(handle); }

using raw::from_raw;
using raw::RawAddress;
using raw::to_raw;

tl::expected<void, IoError> set_blocking(SOCKET socket, bool blocking) {
  u_long nonblocking = blocking ? 0 : 1;
  if (::ioctlsocket(socket, FIONBIO, &nonblocking) != 0) return tl::unexpected(last_socket_error());
  return {};
}

timeval time_left(Clock::time_point deadline) {
  const auto left = std::chrono::ceil<std::chrono::microseconds>(deadline - Clock::now());
  const long long micros = left.count() > 0 ? left.count() : 0;
  return timeval{static_cast<long>(micros / 1000000), static_cast<long>(micros % 1000000)};
}

// Waits until the socket can be written (a connect has finished), can be
// read (a connection waits to be accepted) or failed; false on a time-out.
tl::expected<bool, IoError> wait_ready(SOCKET socket, bool for_write, Clock::time_point deadline) {
  fd_set ready;
  fd_set failed;
  FD_ZERO(&ready);
  FD_ZERO(&failed);
  FD_SET(socket, &ready);
  FD_SET(socket, &failed);
  timeval wait = time_left(deadline);
  const int rc = ::select(0, for_write ? nullptr : &ready, for_write ? &ready : nullptr, &failed, &wait);
  if (rc == SOCKET_ERROR) return tl::unexpected(last_socket_error());
  return rc > 0;
}

tl::expected<SocketAddress, IoError> name_of(SOCKET socket, bool peer) {
  sockaddr_storage storage{};
  int length = sizeof storage;
  auto* raw = reinterpret_cast<sockaddr*>(&storage);
  const int rc = peer ? ::getpeername(socket, raw, &length) : ::getsockname(socket, raw, &length);
  if (rc != 0) return tl::unexpected(last_socket_error());
  auto address = from_raw(raw);
  if (!address) return tl::unexpected(IoError::custom(ErrorKind::Other, "not an IPv4 or IPv6 address"));
  return *address;
}

tl::expected<SOCKET, IoError> new_socket(bool ipv6) {
  raw::start_socket_library();
  // Not inherited: a child process never holds a connection of ours open.
  const SOCKET socket = ::WSASocketW(ipv6 ? AF_INET6 : AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0,
                                     WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
  if (socket == INVALID_SOCKET) return tl::unexpected(last_socket_error());
  return socket;
}

}  // namespace

tl::expected<void, IoError> raw::set_timeout(std::intptr_t socket, int option, std::chrono::milliseconds timeout) {
  const DWORD value = static_cast<DWORD>(timeout.count());
  const char* bytes = reinterpret_cast<const char*>(&value);
  if (::setsockopt(as_socket(socket), SOL_SOCKET, option, bytes, sizeof value) != 0) {
    return tl::unexpected(last_socket_error());
  }
  return {};
}

tl::expected<std::chrono::milliseconds, IoError> raw::get_timeout(std::intptr_t socket, int option) {
  DWORD value = 0;
  int length = sizeof value;
  if (::getsockopt(as_socket(socket), SOL_SOCKET, option, reinterpret_cast<char*>(&value), &length) != 0) {
    return tl::unexpected(last_socket_error());
  }
  return std::chrono::milliseconds(value);
}

void raw::start_socket_library() {
  static std::once_flag started;
  std::call_once(started, [] {
    WSADATA data{};
    ::WSAStartup(MAKEWORD(2, 2), &data);
  });
}

tl::expected<std::vector<SocketAddress>, IoError> resolve_host(const std::string& host, std::uint16_t port) {
  raw::start_socket_library();
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* raw_list = nullptr;
  const int rc = ::getaddrinfo(host.c_str(), nullptr, &hints, &raw_list);
  if (rc != 0) return tl::unexpected(IoError::from_os(rc));
  const raw::AddrInfoList list(raw_list);
  return raw::addresses_of(list.get(), port);
}

tl::expected<Socket, IoError> Socket::connect(const SocketAddress& address, std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  auto made = new_socket(address.ipv6);
  if (!made) return tl::unexpected(made.error());
  Socket socket(static_cast<std::intptr_t>(*made));

  if (auto nonblocking = set_blocking(*made, false); !nonblocking) return tl::unexpected(nonblocking.error());
  const RawAddress raw = to_raw(address);
  if (::connect(*made, raw.get(), raw.length) != 0) {
    if (::WSAGetLastError() != WSAEWOULDBLOCK) return tl::unexpected(last_socket_error());
    auto ready = wait_ready(*made, true, deadline);
    if (!ready) return tl::unexpected(ready.error());
    if (!*ready) return tl::unexpected(IoError::custom(ErrorKind::TimedOut, "connection timed out"));
    int error = 0;
    int length = sizeof error;
    if (::getsockopt(*made, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) != 0) {
      return tl::unexpected(last_socket_error());
    }
    if (error != 0) return tl::unexpected(IoError::from_os(error));
  }
  if (auto blocking = set_blocking(*made, true); !blocking) return tl::unexpected(blocking.error());
  return socket;
}

void Socket::HandleTraits::close(Value value) noexcept { ::closesocket(as_socket(value)); }

tl::expected<void, IoError> Socket::shutdown_write() {
  if (::shutdown(as_socket(handle_.get()), SD_SEND) != 0) return tl::unexpected(last_socket_error());
  return {};
}

tl::expected<std::size_t, IoError> Socket::send(ByteView bytes) {
  const int length = static_cast<int>(std::min<std::size_t>(bytes.size(), 1u << 30));
  for (;;) {
    const int sent = ::send(as_socket(handle_.get()), reinterpret_cast<const char*>(bytes.data()), length, 0);
    if (sent != SOCKET_ERROR) return static_cast<std::size_t>(sent);
    if (::WSAGetLastError() != WSAEINTR) return tl::unexpected(last_socket_error());
  }
}

tl::expected<std::size_t, IoError> Socket::receive(std::span<std::uint8_t> buffer) {
  const int length = static_cast<int>(std::min<std::size_t>(buffer.size(), 1u << 30));
  for (;;) {
    const int got = ::recv(as_socket(handle_.get()), reinterpret_cast<char*>(buffer.data()), length, 0);
    if (got != SOCKET_ERROR) return static_cast<std::size_t>(got);
    if (::WSAGetLastError() != WSAEINTR) return tl::unexpected(last_socket_error());
  }
}

tl::expected<SocketAddress, IoError> Socket::peer_address() const { return name_of(as_socket(handle_.get()), true); }

tl::expected<SocketAddress, IoError> Socket::local_address() const { return name_of(as_socket(handle_.get()), false); }

tl::expected<Listener, IoError> Listener::bind(const SocketAddress& address, int backlog) {
  auto made = new_socket(address.ipv6);
  if (!made) return tl::unexpected(made.error());
  Listener listener(static_cast<std::intptr_t>(*made));
  // No other socket may take the port while this one holds it (Windows lets
  // SO_REUSEADDR steal a bound port; a port in TIME_WAIT binds anyway).
  const BOOL yes = TRUE;
  ::setsockopt(*made, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&yes), sizeof yes);
  if (address.ipv6) {
    const DWORD only = 1;
    ::setsockopt(*made, IPPROTO_IPV6, IPV6_V6ONLY, reinterpret_cast<const char*>(&only), sizeof only);
  }
  const RawAddress raw = to_raw(address);
  if (::bind(*made, raw.get(), raw.length) != 0) return tl::unexpected(last_socket_error());
  if (::listen(*made, backlog) != 0) return tl::unexpected(last_socket_error());
  return listener;
}

tl::expected<SocketAddress, IoError> Listener::local_address() const { return name_of(as_socket(handle_.get()), false); }

tl::expected<Socket, IoError> Listener::accept(std::chrono::milliseconds timeout) {
  auto ready = wait_ready(as_socket(handle_.get()), false, Clock::now() + timeout);
  if (!ready) return tl::unexpected(ready.error());
  if (!*ready) return tl::unexpected(IoError::custom(ErrorKind::TimedOut, "no connection came"));
  const SOCKET accepted = ::accept(as_socket(handle_.get()), nullptr, nullptr);
  if (accepted == INVALID_SOCKET) return tl::unexpected(last_socket_error());
  // An accepted socket takes its listener's non-blocking mode: this one blocks.
  Socket socket(static_cast<std::intptr_t>(accepted));
  if (auto blocking = set_blocking(accepted, true); !blocking) return tl::unexpected(blocking.error());
  return socket;
}

}  // namespace platform
