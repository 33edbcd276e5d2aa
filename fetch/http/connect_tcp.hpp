// A connected TCP socket for a host and port, with staggered attempts when
// the host has several addresses.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include <tl/expected.hpp>

#include "platform/io_error.hpp"
#include "platform/socket.hpp"
#include "platform/thread.hpp"

namespace fetch {

// The host text is used unchanged. The socket comes back with receive and
// send time-outs of 10 seconds.
tl::expected<platform::Socket, platform::IoError> connect_tcp(const std::string& host, std::uint16_t port);

// How the connection attempts are paced and bounded, and what makes them.
// connect_tcp uses the defaults; tests shorten the times or stand in for the
// connect and the thread start.
struct ConnectPlan {
  using ConnectFn = std::function<tl::expected<platform::Socket, platform::IoError>(const platform::SocketAddress&,
                                                                                    std::chrono::milliseconds)>;
  using SpawnFn = std::function<tl::expected<void, platform::IoError>(const std::string& name, std::size_t stack_size,
                                                                      std::function<void()> body)>;

  // One deadline for the whole call, counted from when the addresses are known.
  std::chrono::milliseconds limit{10'000};
  // The pause before the next address is tried while earlier ones still run.
  std::chrono::milliseconds stagger{300};
  ConnectFn connect = &platform::Socket::connect;
  SpawnFn spawn = &platform::spawn_detached_thread;
};

// connect_tcp with the given plan.
tl::expected<platform::Socket, platform::IoError> connect_tcp_with(const std::string& host, std::uint16_t port,
                                                                   const ConnectPlan& plan);

// Connects to the first of the addresses that answers (the part of connect_tcp
// after the host has become addresses), with the socket time-outs set.
tl::expected<platform::Socket, platform::IoError> connect_addresses(
    const std::vector<platform::SocketAddress>& addresses, const ConnectPlan& plan);

}  // namespace fetch
