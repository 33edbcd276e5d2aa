// Socket addresses in the form the system's socket calls take, the start of
// the system's socket library and the sockets' time-out options. Internal to the layer: the two socket
// implementations (posix/socket.cpp and win/socket.cpp) and what they share
// (socket_common.cpp) use it, as BSD sockets and Winsock share their sockaddr
// structures; nothing above the layer includes it.
#pragma once

#ifndef MORVANE_PLATFORM_LAYER
#error "platform/detail/ is the layer's own; include the public header instead"
#endif

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#endif

#include <chrono>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

#include "platform/socket.hpp"

namespace platform::raw {

#ifdef _WIN32
using Length = int;
#else
using Length = socklen_t;
#endif

struct RawAddress {
  sockaddr_storage storage{};
  Length length = 0;

  const sockaddr* get() const { return reinterpret_cast<const sockaddr*>(&storage); }
};

inline RawAddress to_raw(const SocketAddress& address) {
  RawAddress raw;
  if (address.ipv6) {
    auto* in6 = reinterpret_cast<sockaddr_in6*>(&raw.storage);
    in6->sin6_family = AF_INET6;
    in6->sin6_port = htons(address.port);
    in6->sin6_scope_id = address.scope_id;
    std::memcpy(&in6->sin6_addr, address.bytes, 16);
    raw.length = sizeof(sockaddr_in6);
  } else {
    auto* in4 = reinterpret_cast<sockaddr_in*>(&raw.storage);
    in4->sin_family = AF_INET;
    in4->sin_port = htons(address.port);
    std::memcpy(&in4->sin_addr, address.bytes, 4);
    raw.length = sizeof(sockaddr_in);
  }
  return raw;
}

// The address of a sockaddr of either family; nothing for other families.
inline std::optional<SocketAddress> from_raw(const sockaddr* raw) {
  SocketAddress address;
  if (raw->sa_family == AF_INET) {
    const auto* in4 = reinterpret_cast<const sockaddr_in*>(raw);
    std::memcpy(address.bytes, &in4->sin_addr, 4);
    address.port = ntohs(in4->sin_port);
    return address;
  }
  if (raw->sa_family == AF_INET6) {
    const auto* in6 = reinterpret_cast<const sockaddr_in6*>(raw);
    address.ipv6 = true;
    std::memcpy(address.bytes, &in6->sin6_addr, 16);
    address.port = ntohs(in6->sin6_port);
    address.scope_id = in6->sin6_scope_id;
    return address;
  }
  return std::nullopt;
}

// A getaddrinfo list, freed when it goes.
struct AddrInfoFree {
  void operator()(addrinfo* list) const { ::freeaddrinfo(list); }
};
using AddrInfoList = std::unique_ptr<addrinfo, AddrInfoFree>;

// The IPv4 and IPv6 addresses of a getaddrinfo list, in its order, each with
// the port; entries of other families are left out.
inline std::vector<SocketAddress> addresses_of(const addrinfo* list, std::uint16_t port) {
  std::vector<SocketAddress> addresses;
  for (const addrinfo* entry = list; entry != nullptr; entry = entry->ai_next) {
    if (entry->ai_addr == nullptr) continue;
    if (auto address = from_raw(entry->ai_addr)) {
      address->port = port;
      addresses.push_back(*address);
    }
  }
  return addresses;
}

// Starts the system's socket library before a call that needs it: Winsock
// (WSAStartup) on Windows, once, for the life of the process; nothing here.
void start_socket_library();

// SO_RCVTIMEO or SO_SNDTIMEO of the socket, set and read in the form each
// system keeps it (a timeval here, a DWORD of milliseconds on Windows).
tl::expected<void, IoError> set_timeout(std::intptr_t socket, int option, std::chrono::milliseconds timeout);
tl::expected<std::chrono::milliseconds, IoError> get_timeout(std::intptr_t socket, int option);

}  // namespace platform::raw
