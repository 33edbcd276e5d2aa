// Connects with connect_tcp to the host and port on its command line (with
// the pause before the next address of STAGGER_MS instead of the usual one,
// when it is given) and prints the outcome: "ok <peer>" or "error <text>",
// then the milliseconds it took. The resolver tests run it under a stand-in
// hosts database.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <fmt/format.h>

#include "fetch/http/connect_tcp.hpp"

int main(int argc, char** argv) {
  if (argc != 3 && argc != 4) {
    std::fputs("usage: connect_probe HOST PORT [STAGGER_MS]\n", stderr);
    return 2;
  }
  fetch::ConnectPlan plan;
  if (argc == 4) plan.stagger = std::chrono::milliseconds(std::atol(argv[3]));
  const auto started = std::chrono::steady_clock::now();
  auto socket = fetch::connect_tcp_with(argv[1], static_cast<std::uint16_t>(std::atoi(argv[2])), plan);
  const auto took =
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started).count();
  if (!socket) {
    fmt::print("error {}\n{}\n", socket.error().text(), took);
    return 1;
  }
  auto peer = socket->peer_address();
  if (!peer) {
    fmt::print("error peer: {}\n{}\n", peer.error().text(), took);
    return 1;
  }
  const std::string address = platform::address_text(*peer);
  fmt::print("ok {}\n{}\n",
             peer->ipv6 ? fmt::format("[{}]:{}", address, peer->port) : fmt::format("{}:{}", address, peer->port),
             took);
  return 0;
}
