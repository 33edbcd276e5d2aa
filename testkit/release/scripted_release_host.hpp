// A release host that misbehaves on request: the test's own HTTP server
// (testkit/http_server.hpp) on a loopback port, serving a folder as static
// files (200 with a Content-Length, 206 for "Range: bytes=A-B", 404 for what
// is missing), and answering chosen targets with a scripted reply instead:
// the answers nginx will not give (304, a redirect, a wrong Content-Length, a
// body that comes slowly, a status for one file only, a connection closed
// without an answer).
//
//   testkit::ScriptedReleaseHost host(root.path());
//   host.answer(testkit::channel_target("release.json"), testkit::reply::not_modified());
//   auto result = update::check_release(host.url(), ...);
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "fetch/http/server_url.hpp"
#include "platform/path.hpp"
#include "testkit/http_server.hpp"
#include "testkit/release/release_publisher.hpp"
#include "testkit/temp_dir.hpp"

namespace testkit {

// The request target of a channel's file: "/releases/<product>/<channel>/<name>".
std::string channel_target(const std::string& name, const std::string& product = kPublishedProduct,
                           const std::string& channel = kPublishedChannel);

class ScriptedReleaseHost {
 public:
  // Serves its own empty folder (root()).
  ScriptedReleaseHost();
  // Serves the given folder, which must outlive the host.
  explicit ScriptedReleaseHost(const platform::Path& root);
  ScriptedReleaseHost(const ScriptedReleaseHost&) = delete;
  ScriptedReleaseHost& operator=(const ScriptedReleaseHost&) = delete;

  const platform::Path& root() const { return root_; }
  std::uint16_t port() const { return server_.port(); }
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
  std::vector<std::string> heads() { return server_.heads(); }

 private:
  Reply reply_for(const std::string& head);

  std::unique_ptr<TempDir> own_root_;
  platform::Path root_;
  std::mutex mutex_;
  std::map<std::string, Reply> replies_;
  std::function<void(const std::string&)> hook_;
  // Last, so that it stops before what its handler uses goes.
  HttpServer server_;
};

}  // namespace testkit
