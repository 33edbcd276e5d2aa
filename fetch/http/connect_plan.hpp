// How connect_tcp's attempts are paced and bounded, and what makes them.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <string>

#include <tl/expected.hpp>

#include "platform/io_error.hpp"
#include "platform/socket.hpp"
#include "platform/thread.hpp"

namespace fetch {

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

}  // namespace fetch
