#include "fetch/tests/nginx_peer.hpp"

namespace fetch_test {

NginxPeer::NginxPeer()
    : testkit::NginxServer({
          .worker_processes = 4,
          .server_directives = R"(    location /ranged-only/ {
      if ($http_range = "") { return 444; }
    })",
      }) {}

fetch::ServerUrl NginxPeer::url() const { return fetch::ServerUrl{"localhost", "", port(), true}; }

}  // namespace fetch_test
