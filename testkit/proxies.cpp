#include "testkit/proxies.hpp"

#include <fstream>
#include <stdexcept>

#include "testkit/host_tools.hpp"
#include "testkit/loopback.hpp"

namespace testkit {

namespace {

void require(const std::string& program, const std::string& package) {
  const std::string missing = missing_program(program, package);
  if (!missing.empty()) throw std::runtime_error(missing);
}

}  // namespace

TinyProxy::TinyProxy(std::optional<ProxyLogin> login, std::vector<std::uint16_t> connect_ports) {
  require("tinyproxy", "tinyproxy");
  const std::uint16_t port = free_loopback_port();
  const auto config = dir_ / "tinyproxy.conf";
  {
    std::ofstream out(config, std::ios::binary);  // tinyproxy reads LF line ends only
    out << "Port " << port << "\n"
        << "Listen 127.0.0.1\n"
        << "Timeout 30\n"
        << "MaxClients 20\n"
        << "LogLevel Info\n";
    if (login) out << "BasicAuth " << login->user << " " << login->password << "\n";
    for (auto allowed : connect_ports) out << "ConnectPort " << allowed << "\n";
  }
  // -d keeps it in the foreground, logging to its standard error.
  process_ = std::make_unique<ServerProcess>("tinyproxy", std::vector<std::string>{"-d", "-c", tool_path(config)}, port);
}

MicroSocks::MicroSocks(std::optional<ProxyLogin> login) {
  require("microsocks", "microsocks");
  const std::uint16_t port = free_loopback_port();
  std::vector<std::string> args = {"-i", "127.0.0.1", "-p", std::to_string(port)};
  if (login) args.insert(args.end(), {"-u", login->user, "-P", login->password});
  process_ = std::make_unique<ServerProcess>("microsocks", args, port);
}

}  // namespace testkit
