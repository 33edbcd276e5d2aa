// Both ends of one loopback TCP connection, for feeding a fuzzer's bytes to
// code that reads from a socket.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <thread>

#include "platform/socket.hpp"

namespace fuzz {

struct LoopbackPair {
  platform::Socket client;
  platform::Socket server;
};

inline LoopbackPair loopback_pair() {
  static platform::Listener listener = [] {
    auto bound = platform::Listener::bind(*platform::parse_ip_literal("127.0.0.1", 0));
    if (!bound) std::abort();
    return std::move(*bound);
  }();
  auto address = listener.local_address();
  if (!address) std::abort();
  auto client = platform::Socket::connect(*address, std::chrono::seconds(2));
  if (!client) std::abort();
  auto server = listener.accept(std::chrono::seconds(2));
  if (!server) std::abort();
  return {std::move(*client), std::move(*server)};
}

// The server side says `bytes` and then ends its stream; it keeps reading
// what the client sends until the pair goes away.
inline LoopbackPair pair_answering(const std::uint8_t* data, std::size_t size) {
  LoopbackPair pair = loopback_pair();
  (void)pair.client.set_receive_timeout(std::chrono::seconds(2));
  platform::ByteView rest(data, size);
  while (!rest.empty()) {
    auto sent = pair.server.send(rest);
    if (!sent || *sent == 0) std::abort();
    rest = rest.subspan(*sent);
  }
  (void)pair.server.shutdown_write();
  return pair;
}

// The server side says `bytes` from a thread of its own, so that an answer
// larger than what the sockets buffer still goes through, and then ends its
// stream. The bytes must outlive the peer. Close the client (wherever it was
// moved) before the peer goes away: a writer held up by a full buffer ends
// when the client is gone.
class StreamingPeer {
 public:
  StreamingPeer(const std::uint8_t* data, std::size_t size) {
    LoopbackPair pair = loopback_pair();
    (void)pair.client.set_receive_timeout(std::chrono::seconds(2));
    (void)pair.server.set_send_timeout(std::chrono::seconds(2));
    client = std::move(pair.client);
    writer_ = std::thread([server = std::move(pair.server), rest = platform::ByteView(data, size)]() mutable {
      while (!rest.empty()) {
        auto sent = server.send(rest);
        if (!sent || *sent == 0) return;  // the client has gone
        rest = rest.subspan(*sent);
      }
      (void)server.shutdown_write();
    });
  }
  StreamingPeer(const StreamingPeer&) = delete;
  StreamingPeer& operator=(const StreamingPeer&) = delete;
  ~StreamingPeer() {
    client.close();
    writer_.join();
  }

  platform::Socket client;

 private:
  std::thread writer_;
};

}  // namespace fuzz
