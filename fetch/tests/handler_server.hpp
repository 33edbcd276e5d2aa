// A plain HTTP server of the test's own on a loopback port: every
// connection gets its own thread, which reads one request head, asks the
// handler what to do and closes the connection. It counts the connections
// that are open at once.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "fetch/http/byte_range.hpp"
#include "platform/socket.hpp"

namespace fetch_test {

struct Answer {
  std::string bytes;  // sent as they are; empty closes at once
  std::chrono::milliseconds delay{0};
};

class HandlerServer {
 public:
  // The handler gets the request head and the number of the request (from 0).
  using Handler = std::function<Answer(const std::string& head, int index)>;
  explicit HandlerServer(Handler handler);
  ~HandlerServer();
  HandlerServer(const HandlerServer&) = delete;
  HandlerServer& operator=(const HandlerServer&) = delete;

  std::uint16_t port() const { return port_; }
  std::vector<std::string> heads();
  int peak_connections() const { return peak_.load(); }

 private:
  void accept_loop();
  void serve(platform::Socket socket);

  Handler handler_;
  platform::Listener listener_;
  std::uint16_t port_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<int> open_{0};
  std::atomic<int> peak_{0};
  std::mutex mutex_;
  std::vector<std::string> heads_;
  std::vector<std::thread> connections_;
  std::thread acceptor_;
};

// The "Range: bytes=A-B" of a request head, as a span of a file of `total`
// bytes.
std::optional<fetch::ByteRange> requested_range(const std::string& head, std::uint64_t total);

// A complete answer: the status line, the headers given (each ending in CR LF)
// and the body, with a Content-Length.
std::string http_answer(const std::string& status_line, const std::string& headers, const std::string& body);

// The 206 answer for the span of `file`.
std::string partial_answer(const std::string& file, const fetch::ByteRange& range);

}  // namespace fetch_test
