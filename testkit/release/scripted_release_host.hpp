// A release host that misbehaves on request: a plain-HTTP server on a
// loopback port that serves a folder as static files (200 with a
// Content-Length, 206 for "Range: bytes=A-B", 404 for what is missing), and
// answers chosen targets with a scripted reply instead: the answers nginx
// will not give (304, a redirect, a wrong Content-Length, a body that comes
// slowly, a status for one file only, a connection closed without an
// answer).
//
// Every connection gets its own thread, which reads one request head,
// answers it and closes the connection. The server stops accepting after two
// minutes by itself; the destructor stops it and waits for its threads.
//
//   testkit::ScriptedReleaseHost host(root.path());
//   host.answer(testkit::channel_target("release.json"), testkit::reply::not_modified());
//   auto result = update::check_release(host.url(), ...);
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "fetch/http/server_url.hpp"
#include "platform/path.hpp"
#include "platform/socket.hpp"
#include "testkit/release/release_publisher.hpp"
#include "testkit/temp_dir.hpp"

namespace testkit {

// What the server sends for one request.
struct Reply {
  // The status line and the headers, each ending in CR LF; the empty line
  // that ends the head is added when the reply is sent.
  std::string head;
  std::string body;
  // When not 0, the body goes out in pieces of this many bytes, each after a
  // pause of `pause`.
  std::size_t piece = 0;
  std::chrono::milliseconds pause{0};
  // Close the connection at once, without a word.
  bool hang_up = false;
};

namespace reply {

// 200 with the body and its Content-Length.
Reply ok(std::string body);
// The status with the body (empty unless given) and its Content-Length,
// e.g. (500, "Internal Server Error") or (404, "Not Found").
Reply status(int code, const std::string& reason, std::string body = {});
// 304 Not Modified: no body, no Content-Length.
Reply not_modified();
// A redirect (301, 302, 307, 308) to the location, with an empty body.
Reply redirect(int code, const std::string& location);
// 200 that announces `length` bytes but sends `body` (then closes).
Reply declared_length(std::string body, std::uint64_t length);
// The same reply with its body sent in pieces, each after the pause.
Reply slowly(Reply reply, std::size_t piece, std::chrono::milliseconds pause);
// The connection closed without an answer.
Reply hang_up();

}  // namespace reply

// The request target of a channel's file: "/releases/<product>/<channel>/<name>".
std::string channel_target(const std::string& name, const std::string& product = kPublishedProduct,
                           const std::string& channel = kPublishedChannel);

class ScriptedReleaseHost {
 public:
  // Serves its own empty folder (root()).
  ScriptedReleaseHost();
  // Serves the given folder, which must outlive the host.
  explicit ScriptedReleaseHost(const platform::Path& root);
  ~ScriptedReleaseHost();
  ScriptedReleaseHost(const ScriptedReleaseHost&) = delete;
  ScriptedReleaseHost& operator=(const ScriptedReleaseHost&) = delete;

  const platform::Path& root() const { return root_; }
  std::uint16_t port() const { return port_; }
  // http://127.0.0.1:<port>, no prefix.
  fetch::ServerUrl url() const;
  // "http://127.0.0.1:<port>"
  std::string base_url() const;

  // From now on, requests for the target (the path exactly as on the request
  // line) get the reply instead of the file.
  void answer(const std::string& target, Reply reply);
  // Requests for the target are served from the folder again.
  void serve_file(const std::string& target);
  // Called on the connection's thread with each request's target once its
  // head has arrived, before the answer goes out (to cancel a download while
  // it runs, say). It must not call back into the host.
  void on_request(std::function<void(const std::string& target)> hook);

  // The targets of the requests received so far, in order of arrival.
  std::vector<std::string> targets();
  // The whole request heads received so far, in order of arrival.
  std::vector<std::string> heads();

 private:
  void start();
  void accept_loop();
  void serve(platform::Socket socket);
  Reply reply_for(const std::string& target, const std::string& head);

  std::unique_ptr<TempDir> own_root_;
  platform::Path root_;
  platform::Listener listener_;
  std::uint16_t port_ = 0;
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::map<std::string, Reply> replies_;
  std::function<void(const std::string&)> hook_;
  std::vector<std::string> heads_;
  std::vector<std::string> targets_;
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
