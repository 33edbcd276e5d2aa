// Real proxies on loopback for the tests: tinyproxy as the HTTP CONNECT proxy
// and microsocks as the SOCKS5 proxy, each on a free port of 127.0.0.1,
// stopped when the object goes. A missing program throws with the package to
// install.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "testkit/server_process.hpp"
#include "testkit/temp_dir.hpp"

namespace testkit {

struct ProxyLogin {
  std::string user;
  std::string password;
};

class TinyProxy {
 public:
  // `login`: Basic credentials the proxy demands. `connect_ports`: the only
  // ports it tunnels to (all when empty).
  explicit TinyProxy(std::optional<ProxyLogin> login = {}, std::vector<std::uint16_t> connect_ports = {});
  std::uint16_t port() const { return process_->port(); }

 private:
  TempDir dir_;
  std::unique_ptr<ServerProcess> process_;
};

class MicroSocks {
 public:
  // `login`: the user name and password the proxy demands.
  explicit MicroSocks(std::optional<ProxyLogin> login = {});
  std::uint16_t port() const { return process_->port(); }

 private:
  std::unique_ptr<ServerProcess> process_;
};

}  // namespace testkit
