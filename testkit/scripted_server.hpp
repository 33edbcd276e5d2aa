// A loopback server that takes one connection and plays a script on it:
// reads, sends, pauses. It records everything it received, so a test can see
// what a client sent, and it stands in for peers that misbehave in ways real
// servers will not.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <variant>
#include <vector>

#include "platform/socket.hpp"
#include "testkit/loopback.hpp"

namespace testkit {

class Script {
 public:
  struct Read {
    std::size_t count;
  };
  struct ReadUntil {
    std::string end;
  };
  struct Send {
    std::string bytes;
  };
  struct Pause {
    std::chrono::milliseconds time;
  };
  struct DrainUntilClosed {};
  using Step = std::variant<Read, ReadUntil, Send, Pause, DrainUntilClosed>;

  // The builders are defined out of line: inlined into a test, g++ 12 warns
  // falsely about the variant's moved-from storage.
  // Receive exactly `count` bytes.
  Script& read(std::size_t count);
  // Receive until what came so far ends with `end`.
  Script& read_until(std::string end);
  Script& send(std::string bytes);
  Script& send(std::initializer_list<std::uint8_t> bytes);
  Script& pause(std::chrono::milliseconds time);
  // Receive until the client closes its end.
  Script& drain_until_closed();

  const std::vector<Step>& steps() const { return steps_; }

 private:
  std::vector<Step> steps_;
};

class ScriptedServer {
 public:
  // Listens on `where` (127.0.0.1 with a free port unless told) and plays the
  // script on the first connection; then closes it. The server gives up by
  // itself when nobody connects within 20 seconds or a read waits longer
  // than 5 seconds.
  explicit ScriptedServer(Script script, const platform::SocketAddress& where = loopback4(0));
  ~ScriptedServer();
  ScriptedServer(const ScriptedServer&) = delete;
  ScriptedServer& operator=(const ScriptedServer&) = delete;

  const platform::SocketAddress& address() const { return address_; }
  std::uint16_t port() const { return address_.port; }

  // Waits for the script to end; everything the client sent.
  std::string received();
  // Waits for the script to end; what stopped it early, or the empty text.
  std::string failure();
  // Waits for the script to end; whether the client closed its end during
  // the script (a read found the end of the stream).
  bool client_closed();

 private:
  void run(Script script);
  void wait();

  platform::Listener listener_;
  platform::SocketAddress address_;
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::string received_;
  std::string failure_;
  bool client_closed_ = false;
  std::thread thread_;
};

}  // namespace testkit
