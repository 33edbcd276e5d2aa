// A connected TCP socket for a host and port, with staggered attempts when
// the host has several addresses.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <tl/expected.hpp>

#include "fetch/http/connect_plan.hpp"
#include "platform/io_error.hpp"
#include "platform/socket.hpp"

namespace fetch {

// The host text is used unchanged. The socket comes back with receive and
// send time-outs of 10 seconds.
tl::expected<platform::Socket, platform::IoError> connect_tcp(const std::string& host, std::uint16_t port);

// connect_tcp with the given plan.
tl::expected<platform::Socket, platform::IoError> connect_tcp_with(const std::string& host, std::uint16_t port,
                                                                   const ConnectPlan& plan);

// Connects to the first of the addresses that answers (the part of connect_tcp
// after the host has become addresses), with the socket time-outs set.
tl::expected<platform::Socket, platform::IoError> connect_addresses(
    const std::vector<platform::SocketAddress>& addresses, const ConnectPlan& plan);

}  // namespace fetch
