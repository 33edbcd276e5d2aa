#include "platform/socket.hpp"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "platform/detail/raw_address.hpp"

namespace platform {

namespace {

using raw::from_raw;
using raw::RawAddress;
using raw::to_raw;

int as_fd(std::intptr_t handle) { return static_cast<int>(handle); }

tl::expected<void, IoError> set_blocking(int fd, bool blocking) {
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0) return tl::unexpected(IoError::last_os_error());
  const int wanted = blocking ? (flags & ~O_NONBLOCK) : (flags | O_NONBLOCK);
  if (::fcntl(fd, F_SETFL, wanted) != 0) return tl::unexpected(IoError::last_os_error());
  return {};
}

using Clock = std::chrono::steady_clock;

int poll_millis(Clock::time_point deadline) {
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
  return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

// Waits until the descriptor is ready for `events` or the deadline passes;
// false on a time-out.
tl::expected<bool, IoError> wait_ready(int fd, short events, Clock::time_point deadline) {
  for (;;) {
    pollfd entry{fd, events, 0};
    const int rc = ::poll(&entry, 1, poll_millis(deadline));
    if (rc > 0) return true;
    if (rc == 0) return false;
    if (errno != EINTR) return tl::unexpected(IoError::last_os_error());
  }
}

// A send or receive that ran into its SO_SNDTIMEO / SO_RCVTIMEO shows as
// EAGAIN here; Windows reports WSAETIMEDOUT, and callers see a time-out.
IoError transfer_error(int code) {
  if (code == EAGAIN || code == EWOULDBLOCK) return IoError::from_os(ETIMEDOUT);
  return IoError::from_os(code);
}

tl::expected<SocketAddress, IoError> name_of(int fd, bool peer) {
  sockaddr_storage storage{};
  socklen_t length = sizeof storage;
  auto* raw = reinterpret_cast<sockaddr*>(&storage);
  const int rc = peer ? ::getpeername(fd, raw, &length) : ::getsockname(fd, raw, &length);
  if (rc != 0) return tl::unexpected(IoError::last_os_error());
  auto address = from_raw(raw);
  if (!address) return tl::unexpected(IoError::custom(ErrorKind::Other, "not an IPv4 or IPv6 address"));
  return *address;
}

// The resolver's failure. getaddrinfo has codes of its own; EAI_SYSTEM means
// the cause is in errno.
IoError resolver_error(int rc, int saved_errno) {
  if (rc == EAI_SYSTEM && saved_errno != 0) return IoError::from_os(saved_errno);
  const ErrorKind kind = (rc == EAI_NONAME) ? ErrorKind::NotFound : ErrorKind::Other;
  return IoError::custom(kind, ::gai_strerror(rc));
}

}  // namespace

tl::expected<void, IoError> raw::set_timeout(std::intptr_t socket, int option, std::chrono::milliseconds timeout) {
  timeval value{};
  value.tv_sec = static_cast<time_t>(timeout.count() / 1000);
  value.tv_usec = static_cast<suseconds_t>((timeout.count() % 1000) * 1000);
  if (::setsockopt(as_fd(socket), SOL_SOCKET, option, &value, sizeof value) != 0) {
    return tl::unexpected(IoError::last_os_error());
  }
  return {};
}

tl::expected<std::chrono::milliseconds, IoError> raw::get_timeout(std::intptr_t socket, int option) {
  timeval value{};
  socklen_t length = sizeof value;
  if (::getsockopt(as_fd(socket), SOL_SOCKET, option, &value, &length) != 0) {
    return tl::unexpected(IoError::last_os_error());
  }
  return std::chrono::milliseconds(static_cast<long long>(value.tv_sec) * 1000 + value.tv_usec / 1000);
}

void raw::start_socket_library() {}

tl::expected<std::vector<SocketAddress>, IoError> resolve_host(const std::string& host, std::uint16_t port) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* raw_list = nullptr;
  errno = 0;
  const int rc = ::getaddrinfo(host.c_str(), nullptr, &hints, &raw_list);
  if (rc != 0) return tl::unexpected(resolver_error(rc, errno));
  const raw::AddrInfoList list(raw_list);
  return raw::addresses_of(list.get(), port);
}

tl::expected<Socket, IoError> Socket::connect(const SocketAddress& address, std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  const int fd = ::socket(address.ipv6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return tl::unexpected(IoError::last_os_error());
  Socket socket(fd);

  if (auto nonblocking = set_blocking(fd, false); !nonblocking) return tl::unexpected(nonblocking.error());
  const RawAddress raw = to_raw(address);
  if (::connect(fd, raw.get(), raw.length) != 0) {
    if (errno != EINPROGRESS && errno != EINTR) return tl::unexpected(IoError::last_os_error());
    auto ready = wait_ready(fd, POLLOUT, deadline);
    if (!ready) return tl::unexpected(ready.error());
    if (!*ready) return tl::unexpected(IoError::custom(ErrorKind::TimedOut, "connection timed out"));
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) {
      return tl::unexpected(IoError::last_os_error());
    }
    if (error != 0) return tl::unexpected(IoError::from_os(error));
  }
  if (auto blocking = set_blocking(fd, true); !blocking) return tl::unexpected(blocking.error());
  return socket;
}

void Socket::HandleTraits::close(Value value) noexcept { ::close(as_fd(value)); }

tl::expected<void, IoError> Socket::shutdown_write() {
  if (::shutdown(as_fd(handle_.get()), SHUT_WR) != 0) return tl::unexpected(IoError::last_os_error());
  return {};
}

tl::expected<std::size_t, IoError> Socket::send(ByteView bytes) {
  for (;;) {
    const ssize_t sent = ::send(as_fd(handle_.get()), bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (sent >= 0) return static_cast<std::size_t>(sent);
    if (errno != EINTR) return tl::unexpected(transfer_error(errno));
  }
}

tl::expected<std::size_t, IoError> Socket::receive(std::span<std::uint8_t> buffer) {
  for (;;) {
    const ssize_t got = ::recv(as_fd(handle_.get()), buffer.data(), buffer.size(), 0);
    if (got >= 0) return static_cast<std::size_t>(got);
    if (errno != EINTR) return tl::unexpected(transfer_error(errno));
  }
}

tl::expected<SocketAddress, IoError> Socket::peer_address() const { return name_of(as_fd(handle_.get()), true); }

tl::expected<SocketAddress, IoError> Socket::local_address() const { return name_of(as_fd(handle_.get()), false); }

tl::expected<Listener, IoError> Listener::bind(const SocketAddress& address, int backlog) {
  const int fd = ::socket(address.ipv6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return tl::unexpected(IoError::last_os_error());
  Listener listener(fd);
  const int yes = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  if (address.ipv6) ::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &yes, sizeof yes);
  const RawAddress raw = to_raw(address);
  if (::bind(fd, raw.get(), raw.length) != 0) return tl::unexpected(IoError::last_os_error());
  if (::listen(fd, backlog) != 0) return tl::unexpected(IoError::last_os_error());
  return listener;
}

tl::expected<SocketAddress, IoError> Listener::local_address() const { return name_of(as_fd(handle_.get()), false); }

tl::expected<Socket, IoError> Listener::accept(std::chrono::milliseconds timeout) {
  auto ready = wait_ready(as_fd(handle_.get()), POLLIN, Clock::now() + timeout);
  if (!ready) return tl::unexpected(ready.error());
  if (!*ready) return tl::unexpected(IoError::custom(ErrorKind::TimedOut, "no connection came"));
  for (;;) {
    const int fd = ::accept4(as_fd(handle_.get()), nullptr, nullptr, SOCK_CLOEXEC);
    if (fd >= 0) return Socket(fd);
    if (errno != EINTR) return tl::unexpected(IoError::last_os_error());
  }
}

}  // namespace platform
