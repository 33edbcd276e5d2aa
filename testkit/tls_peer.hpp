// A TLS server of the test's own (OpenSSL's server side on a loopback
// port): it takes connections one after the other, shakes hands with the
// given chain, reads one request head and answers what the handler says,
// ending the connection with or without a close_notify alert.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/socket.hpp"
#include "testkit/tls_server.hpp"

namespace testkit {

struct TlsAnswer {
  std::string bytes;
  bool close_notify = true;
  // Wait this long after the head before answering (a server that is slow).
  std::chrono::milliseconds delay{0};
};

class TlsPeer {
 public:
  using Handler = std::function<TlsAnswer(const std::string& head)>;
  // Serves up to `connections` connections, then stops listening.
  TlsPeer(const ServerCredentials& credentials, Handler handler, int connections = 1);
  ~TlsPeer();
  TlsPeer(const TlsPeer&) = delete;
  TlsPeer& operator=(const TlsPeer&) = delete;

  std::uint16_t port() const { return port_; }
  // The request heads received so far.
  std::vector<std::string> heads();

 private:
  void run(ServerCredentials credentials, Handler handler, int connections);

  platform::Listener listener_;
  std::uint16_t port_ = 0;
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::vector<std::string> heads_;
  std::thread thread_;
};

}  // namespace testkit
