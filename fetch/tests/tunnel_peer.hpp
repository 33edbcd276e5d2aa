// A socket to a scripted proxy, as the tunnel tests start every exchange.
#pragma once

#include <stdexcept>

#include "fetch/http/connect_tcp.hpp"
#include "platform/socket.hpp"
#include "testkit/scripted_server.hpp"

namespace fetch_test {

inline platform::Socket connect_to(const testkit::ScriptedServer& server) {
  auto socket = fetch::connect_tcp("127.0.0.1", server.port());
  if (!socket) throw std::runtime_error(socket.error().text());
  return std::move(*socket);
}

}  // namespace fetch_test
