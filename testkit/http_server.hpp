// A plain-HTTP server of the test's own on a loopback port, for the answers
// that real servers will not give on demand: every connection gets its own
// thread, which reads one request head, asks the handler for the reply,
// sends it and closes the connection. The server records the heads and
// counts the connections open at once. It stops accepting after two minutes
// by itself; the destructor stops it and waits for its threads.
//
//   testkit::HttpServer server([](const std::string& head) {
//     return testkit::requested_range(head) ? testkit::reply::status(503, "Busy") : testkit::reply::hang_up();
//   });
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/socket.hpp"

namespace testkit {

// What the server sends for one request.
struct Reply {
  // The status line and the headers, each ending in CR LF; the empty line
  // that ends the head is added when the reply is sent.
  std::string head;
  std::string body;
  // Nothing goes out before this much time has passed.
  std::chrono::milliseconds delay{0};
  // When not 0, the body goes out in pieces of this many bytes, each after a
  // pause of `pause`.
  std::size_t piece = 0;
  std::chrono::milliseconds pause{0};
  // Close the connection without a word (after the delay).
  bool hang_up = false;
};

namespace reply {

// The status line ("HTTP/1.1 206 Partial Content"), the headers given (each
// ending in CR LF), the body's Content-Length and the body.
Reply answer(const std::string& status_line, const std::string& headers, std::string body);
// 200 with the body and its Content-Length.
Reply ok(std::string body);
// The status with the body (empty unless given) and its Content-Length,
// e.g. (500, "Internal Server Error") or (404, "Not Found").
Reply status(int code, const std::string& reason, std::string body = {});
// 206 with bytes `first` to `last` of `file` and their Content-Range.
Reply partial(const std::string& file, std::uint64_t first, std::uint64_t last);
// 304 Not Modified: no body, no Content-Length.
Reply not_modified();
// A redirect (301, 302, 307, 308) to the location, with an empty body.
Reply redirect(int code, const std::string& location);
// 200 that announces `length` bytes but sends `body` (then closes).
Reply declared_length(std::string body, std::uint64_t length);
// The same reply, sent only after `delay`.
Reply delayed(Reply reply, std::chrono::milliseconds delay);
// The same reply with its body sent in pieces, each after the pause.
Reply slowly(Reply reply, std::size_t piece, std::chrono::milliseconds pause);
// The connection closed without an answer.
Reply hang_up();

}  // namespace reply

// The target of a request head's request line "GET <target> HTTP/1.1".
std::string request_target(const std::string& head);

// The span of a request head's "Range: bytes=A-B" (the header's name in any
// case), if it has one.
struct RequestedRange {
  std::uint64_t first = 0;
  std::uint64_t last = 0;
};
std::optional<RequestedRange> requested_range(const std::string& head);

class HttpServer {
 public:
  // Gets each request's head, on the connection's thread; it may be called
  // on several threads at once.
  using Handler = std::function<Reply(const std::string& head)>;
  // Listens on a free port of 127.0.0.1.
  explicit HttpServer(Handler handler);
  ~HttpServer();
  HttpServer(const HttpServer&) = delete;
  HttpServer& operator=(const HttpServer&) = delete;

  std::uint16_t port() const { return port_; }
  // The request heads received so far, in order of arrival.
  std::vector<std::string> heads();
  // The most connections that were being served at once.
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
  // The connections' threads with a flag each sets when it ends; ended ones
  // are joined as new connections come, so that a download of many ranges
  // does not pile up threads.
  struct Connection {
    std::thread thread;
    std::shared_ptr<std::atomic<bool>> ended;
  };
  std::vector<Connection> connections_;
  std::thread acceptor_;
};

}  // namespace testkit
