// A release host for tests: nginx serving a folder over HTTPS on a loopback
// port (testkit/nginx_server.hpp). A channel that publish_release wrote below
// that folder is served at https://localhost:<port>/releases/<product>/<channel>/,
// answering as the real release host does: 200 with a Content-Length, 206
// for a range, 404 for a missing file, never a redirect or a chunked body.
#pragma once

#include <cstdint>

#include "fetch/http/server_url.hpp"
#include "platform/path.hpp"
#include "testkit/nginx_server.hpp"

namespace testkit {

class ReleaseHost : public NginxServer {
 public:
  // Serves its own empty folder (root()). Throws with nginx's output when
  // it does not come up.
  ReleaseHost();
  // Serves the given folder, which must outlive the host.
  explicit ReleaseHost(const platform::Path& root);
  // The same on a port of the caller's choosing (a build's compiled-in
  // release host, say); throws when nginx cannot listen there.
  ReleaseHost(const platform::Path& root, std::uint16_t port);

  // https://localhost:<port>, no prefix.
  fetch::ServerUrl url() const;
};

}  // namespace testkit
