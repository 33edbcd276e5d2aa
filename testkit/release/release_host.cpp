#include "testkit/release/release_host.hpp"

#include <stdexcept>

#include <fmt/format.h>

#include "platform/fs.hpp"
#include "testkit/host_tools.hpp"
#include "testkit/loopback.hpp"

namespace testkit {

namespace {

std::string read_text(const platform::Path& path) {
  auto bytes = platform::read_file(path);
  return bytes ? platform::to_string(*bytes) : std::string();
}

}  // namespace

platform::Path test_pki_file(const std::string& name) { return build_path(MORVANE_TESTKIT_PKI_DIR) / name; }

ReleaseHost::ReleaseHost() : own_root_(std::make_unique<TempDir>()), root_(own_root_->path()) {
  start(free_loopback_port());
}

ReleaseHost::ReleaseHost(const platform::Path& root) : root_(root) { start(free_loopback_port()); }

ReleaseHost::ReleaseHost(const platform::Path& root, std::uint16_t port) : root_(root) { start(port); }

ReleaseHost::~ReleaseHost() { process_.reset(); }

void ReleaseHost::start(std::uint16_t port) {
  if (const std::string missing = missing_program("nginx", "nginx-light"); !missing.empty()) {
    throw std::runtime_error(missing);
  }
  port_ = port;
  const std::string dir = tool_path(work_.path());
  (void)platform::create_dirs(work_ / "temp");
  // Static files only: no index pages, no directory listings, no
  // compression or chunking, one request per connection as the client asks.
  const std::string conf = fmt::format(R"(# A release host for tests.
worker_processes 1;
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
  server {{
    listen 127.0.0.1:{port} ssl;
    server_name localhost;
    ssl_certificate {chain};
    ssl_certificate_key {key};
    ssl_protocols TLSv1.2 TLSv1.3;
    root {root};
    autoindex off;
    index nonexistent-index-file;
  }}
}}
)",
                                       fmt::arg("user", tools_run_as_root() ? "user root;" : ""), fmt::arg("dir", dir),
                                       fmt::arg("port", port_),
                                       fmt::arg("chain", tool_path(test_pki_file("localhost-chain.pem"))),
                                       fmt::arg("key", tool_path(test_pki_file("localhost.key"))),
                                       fmt::arg("root", tool_path(root_)));
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

fetch::ServerUrl ReleaseHost::url() const { return fetch::ServerUrl{"localhost", "", port_, true}; }

std::string ReleaseHost::base_url() const { return fmt::format("https://localhost:{}", port_); }

std::vector<std::string> ReleaseHost::requests() const {
  const std::string log = read_text(work_ / "access.log");
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

std::string ReleaseHost::error_log() const { return read_text(work_ / "error.log"); }

}  // namespace testkit
