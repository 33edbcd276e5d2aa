#include "fetch/tests/nginx_peer.hpp"

#include <fmt/format.h>

#include "fetch/tests/server_credentials.hpp"
#include "platform/fs.hpp"
#include "testkit/host_tools.hpp"
#include "testkit/loopback.hpp"

namespace fetch_test {

NginxPeer::NginxPeer() : port_(testkit::free_loopback_port()) {
  const std::string dir = testkit::tool_path(dir_.path());
  (void)platform::create_dirs(dir_ / "www" / "ranged-only");
  (void)platform::create_dirs(dir_ / "temp");
  const std::string conf = fmt::format(R"(# Written by the fetch client's tests.
worker_processes 4;
{user}
error_log {dir}/error.log info;
events {{ worker_connections 256; }}
http {{
  access_log off;
  client_body_temp_path {dir}/temp/body;
  proxy_temp_path {dir}/temp/proxy;
  fastcgi_temp_path {dir}/temp/fastcgi;
  uwsgi_temp_path {dir}/temp/uwsgi;
  scgi_temp_path {dir}/temp/scgi;
  default_type application/octet-stream;
  ssl_session_cache shared:tests:1m;
  server {{
    listen 127.0.0.1:{port} ssl;
    server_name localhost;
    ssl_certificate {chain};
    ssl_certificate_key {key};
    ssl_protocols TLSv1.2 TLSv1.3;
    root {dir}/www;
    location /ranged-only/ {{
      if ($http_range = "") {{ return 444; }}
    }}
  }}
}}
)",
                                       fmt::arg("user", testkit::tools_run_as_root() ? "user root;" : ""), fmt::arg("dir", dir),
                                       fmt::arg("port", port_), fmt::arg("chain", tool_pki_file("localhost-chain.pem")),
                                       fmt::arg("key", tool_pki_file("localhost.key")));
  (void)platform::write_file(dir_ / "nginx.conf", platform::byte_view(conf));
  process_ = std::make_unique<testkit::ServerProcess>(
      "nginx",
      std::vector<std::string>{"-p", dir, "-e", dir + "/error.log", "-c", dir + "/nginx.conf", "-g",
                               fmt::format("daemon off; pid {}/nginx.pid;", dir)},
      port_);
}

NginxPeer::~NginxPeer() { process_.reset(); }

fetch::ServerUrl NginxPeer::url() const { return fetch::ServerUrl{"localhost", "", port_, true}; }

void NginxPeer::put(const std::string& name, const std::string& bytes) const {
  const platform::Path path = dir_ / "www" / name;
  (void)platform::create_dirs(path.parent_path());
  (void)platform::write_file(path, platform::byte_view(bytes));
}

std::string NginxPeer::error_log() const {
  auto bytes = platform::read_file(dir_ / "error.log");
  return bytes ? platform::to_string(*bytes) : std::string();
}

}  // namespace fetch_test
