// nginx on a loopback port for the tests: HTTPS with the test PKI's
// localhost certificate (whose root the test build's TLS client trusts),
// serving a folder as static files as a real file server does: 200 with a
// Content-Length, 206 for a range, 404 for a missing file, never an index
// page, a listing, compression or a chunked body.
//
// nginx runs in the foreground and ends by itself after two minutes even
// when the test does not stop it; the destructor stops it.
//
//   testkit::NginxServer nginx;
//   nginx.put("files/a.bin", bytes);   // https://localhost:<port>/files/a.bin
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/path.hpp"
#include "testkit/server_process.hpp"
#include "testkit/temp_dir.hpp"

namespace testkit {

struct NginxOptions {
  // The folder served at "/", which must outlive the server; empty: a fresh
  // folder of the server's own.
  platform::Path root = {};
  // The port on 127.0.0.1; 0: a free one.
  std::uint16_t port = 0;
  int worker_processes = 1;
  // Further directives of the server block (locations that answer in ways
  // of their own, say).
  std::string server_directives = {};
};

class NginxServer {
 public:
  // Starts nginx; throws with what nginx said when it does not come up (or
  // cannot listen on the port asked for), or when it is not installed.
  explicit NginxServer(NginxOptions options = {});
  ~NginxServer();
  NginxServer(const NginxServer&) = delete;
  NginxServer& operator=(const NginxServer&) = delete;

  // The folder served at "/".
  const platform::Path& root() const { return root_; }
  std::uint16_t port() const { return port_; }
  // "https://localhost:<port>"
  std::string base_url() const;

  // Writes a file below the served folder (`name` may hold "/").
  void put(const std::string& name, const std::string& bytes) const;

  // One line per request that nginx has finished, in order: the method, the
  // target and the status, separated by blanks ("GET /releases/... 200"). A
  // request that was just answered may not be listed yet.
  std::vector<std::string> requests() const;
  // What nginx wrote to its error log.
  std::string error_log() const;

 private:
  TempDir work_;
  std::unique_ptr<TempDir> own_root_;
  platform::Path root_;
  std::uint16_t port_ = 0;
  std::unique_ptr<ServerProcess> process_;
};

}  // namespace testkit
