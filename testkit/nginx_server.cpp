#include "testkit/nginx_server.hpp"

#include <stdexcept>

#include <fmt/format.h>

#include "platform/fs.hpp"
#include "testkit/file_text.hpp"
#include "testkit/host_tools.hpp"
#include "testkit/loopback.hpp"
#include "testkit/pki.hpp"

namespace testkit {

NginxServer::NginxServer(NginxOptions options) {
  if (const std::string missing = missing_program("nginx", "nginx-light"); !missing.empty()) {
    throw std::runtime_error(missing);
  }
  if (options.root.empty()) {
    own_root_ = std::make_unique<TempDir>();
    root_ = own_root_->path();
  } else {
    root_ = options.root;
  }
  port_ = options.port != 0 ? options.port : free_loopback_port();
  const std::string dir = tool_path(work_.path());
  (void)platform::create_dirs(work_ / "temp");
  // Static files only: no index pages, no directory listings, no
  // compression or chunking, one request per connection as the client asks.
  // The session cache is shared by the workers, so that a client resumes its
  // TLS session whichever worker takes the next connection.
  const std::string conf = fmt::format(R"(# Written by a test.
worker_processes {workers};
{user}
error_log {dir}/error.log info;
events {{ worker_connections 256; }}
http {{
  log_format requests '$request_method $request_uri $status';
  access_log {dir}/access.log requests;
  client_body_temp_path {dir}/temp/body;
  proxy_temp_path {dir}/temp/proxy;
  fastcgi_temp_path {dir}/temp/fastcgi;
  uwsgi_temp_path {dir}/temp/uwsgi;
  scgi_temp_path {dir}/temp/scgi;
  default_type application/octet-stream;
  server_tokens off;
  ssl_session_cache shared:tests:1m;
  server {{
    listen 127.0.0.1:{port} ssl;
    server_name localhost;
    ssl_certificate {chain};
    ssl_certificate_key {key};
    ssl_protocols TLSv1.2 TLSv1.3;
    root {root};
    autoindex off;
    index nonexistent-index-file;
{directives}
  }}
}}
)",
                                       fmt::arg("workers", options.worker_processes),
                                       fmt::arg("user", tools_run_as_root() ? "user root;" : ""), fmt::arg("dir", dir),
                                       fmt::arg("port", port_),
                                       fmt::arg("chain", tool_path(test_pki_file("localhost-chain.pem"))),
                                       fmt::arg("key", tool_path(test_pki_file("localhost.key"))),
                                       fmt::arg("root", tool_path(root_)),
                                       fmt::arg("directives", options.server_directives));
  if (auto written = platform::write_file(work_ / "nginx.conf", platform::byte_view(conf)); !written) {
    throw std::runtime_error("cannot write nginx.conf: " + written.error().text());
  }
  try {
    process_ = std::make_unique<ServerProcess>(
        "nginx",
        std::vector<std::string>{"-p", dir, "-e", dir + "/error.log", "-c", dir + "/nginx.conf", "-g",
                                 fmt::format("daemon off; pid {}/nginx.pid;", dir)},
        port_);
  } catch (const std::runtime_error& failure) {
    // nginx writes why into its error log, not to its output.
    throw std::runtime_error(failure.what() + error_log());
  }
}

NginxServer::~NginxServer() { process_.reset(); }

std::string NginxServer::base_url() const { return fmt::format("https://localhost:{}", port_); }

void NginxServer::put(const std::string& name, const std::string& bytes) const {
  const platform::Path path = root_ / platform::path_from_utf8(name);
  (void)platform::create_dirs(path.parent_path());
  (void)platform::write_file(path, platform::byte_view(bytes));
}

std::vector<std::string> NginxServer::requests() const {
  const std::string log = read_text_or_empty(work_ / "access.log");
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < log.size()) {
    const std::size_t end = log.find('\n', start);
    if (end == std::string::npos) break;  // a line still being written
    lines.push_back(log.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

std::string NginxServer::error_log() const { return read_text_or_empty(work_ / "error.log"); }

}  // namespace testkit
