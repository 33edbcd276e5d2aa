// nginx as the fetch client's tests run it (testkit/nginx_server.hpp): four
// workers, and a folder /ranged-only/ where a request without a Range header
// is answered by closing the connection (nginx's 444), so that a download
// there falls back to ranges.
#pragma once

#include "fetch/http/server_url.hpp"
#include "testkit/nginx_server.hpp"

namespace fetch_test {

class NginxPeer : public testkit::NginxServer {
 public:
  // Starts nginx on a free port; throws with its output when it does not
  // come up.
  NginxPeer();

  // https://localhost:<port>
  fetch::ServerUrl url() const;
};

}  // namespace fetch_test
