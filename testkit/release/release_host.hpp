// A release host for tests: nginx on a loopback port, speaking HTTPS with the
// test PKI's localhost certificate (whose root the test build's TLS client
// trusts), serving a folder as static files. A channel that
// publish_release wrote below that folder is served at
// https://localhost:<port>/releases/<product>/<channel>/, answering as the
// real release host does: 200 with a Content-Length, 206 for a range, 404
// for a missing file, never a redirect or a chunked body.
//
// nginx runs in the foreground and ends by itself after two minutes even
// when the test does not stop it; the destructor stops it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "fetch/http/server_url.hpp"
#include "platform/path.hpp"
#include "testkit/server_process.hpp"
#include "testkit/temp_dir.hpp"

namespace testkit {

class ReleaseHost {
 public:
  // Serves its own empty folder (root()). Throws with nginx's output when
  // it does not come up.
  ReleaseHost();
  // Serves the given folder, which must outlive the host.
  explicit ReleaseHost(const platform::Path& root);
  // The same on a port of the caller's choosing (a build's compiled-in
  // release host, say); throws when nginx cannot listen there.
  ReleaseHost(const platform::Path& root, std::uint16_t port);
  ~ReleaseHost();
  ReleaseHost(const ReleaseHost&) = delete;
  ReleaseHost& operator=(const ReleaseHost&) = delete;

  // The folder served at "/".
  const platform::Path& root() const { return root_; }
  std::uint16_t port() const { return port_; }
  // https://localhost:<port>, no prefix.
  fetch::ServerUrl url() const;
  // "https://localhost:<port>"
  std::string base_url() const;

  // One line per request that nginx has finished, in order: the method, the
  // target and the status, separated by blanks ("GET /releases/... 200"). A
  // request that was just answered may not be listed yet.
  std::vector<std::string> requests() const;
  // What nginx wrote to its error log.
  std::string error_log() const;

 private:
  void start(std::uint16_t port);

  TempDir work_;
  std::unique_ptr<TempDir> own_root_;
  platform::Path root_;
  std::uint16_t port_ = 0;
  std::unique_ptr<ServerProcess> process_;
};

// The test PKI's files (testkit/pki): "root-ca.pem", "localhost-chain.pem",
// "localhost.key", ...
platform::Path test_pki_file(const std::string& name);

}  // namespace testkit
