// The maker's site API as the tests play it: an HTTPS server on a loopback
// port with the test PKI's localhost certificate. It takes connections one
// after the other, reads each whole request (head and Content-Length body),
// records it and answers as told: after a delay, or never (it then holds the
// connection open until it goes away), or with a body without end.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/socket.hpp"

namespace testkit {

struct SiteAnswer {
  std::string bytes{};  // sent as they are
  std::chrono::milliseconds delay{0};
  bool never = false;  // read the request, then send nothing
  // After the bytes, filler for as long as the client reads it (at most a
  // minute), as a site would that announced an endless body.
  bool endless = false;
};

// "HTTP/1.1 204 No Content", closed.
SiteAnswer no_content();

class SiteServer {
 public:
  // Listens on 127.0.0.1:`port`, a free port when 0. A fixed port that is in
  // use (another test's site) is waited for, up to 60 seconds.
  explicit SiteServer(SiteAnswer answer, std::uint16_t port = 0);
  ~SiteServer();
  SiteServer(const SiteServer&) = delete;
  SiteServer& operator=(const SiteServer&) = delete;

  std::uint16_t port() const { return port_; }
  // https://localhost:<port>/api/site
  std::string api_url() const;

  // Every request received so far, head and body, as it came.
  std::vector<std::string> requests();
  // Connections accepted so far (a handshake that failed included).
  int connections() const { return connections_.load(); }
  // Whether the client of the last endless answer has stopped reading it.
  bool endless_answer_ended() const { return endless_ended_.load(); }
  // How long the last endless answer went on, from its head to the client's
  // hang-up (zero until it ended).
  std::chrono::milliseconds endless_answer_lasted() const { return endless_lasted_.load(); }
  // Waits until `count` requests came or `time` passed; whether they came.
  bool wait_for_requests(std::size_t count, std::chrono::milliseconds time);

 private:
  void run(SiteAnswer answer);

  platform::Listener listener_;
  std::uint16_t port_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<int> connections_{0};
  std::atomic<bool> endless_ended_{false};
  std::atomic<std::chrono::milliseconds> endless_lasted_{std::chrono::milliseconds(0)};
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::string> requests_;
  std::thread thread_;
};

}  // namespace testkit
