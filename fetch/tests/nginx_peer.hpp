// nginx on a loopback port as the HTTPS file server, with the test PKI's
// localhost certificate, serving the files a test puts into its folder.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "fetch/http/server_url.hpp"
#include "platform/path.hpp"
#include "testkit/server_process.hpp"
#include "testkit/temp_dir.hpp"

namespace fetch_test {

class NginxPeer {
 public:
  // Starts nginx; throws with its output when it does not come up. Requests
  // without a Range header below /ranged-only/ are answered by closing the
  // connection (nginx's 444), so that a download there falls back to ranges.
  NginxPeer();
  ~NginxPeer();

  std::uint16_t port() const { return port_; }
  // https://localhost:<port>
  fetch::ServerUrl url() const;
  // Writes a file below the served folder (`name` may hold "/").
  void put(const std::string& name, const std::string& bytes) const;
  // What nginx printed to its error log.
  std::string error_log() const;

 private:
  testkit::TempDir dir_;
  std::uint16_t port_ = 0;
  std::unique_ptr<testkit::ServerProcess> process_;
};

}  // namespace fetch_test
