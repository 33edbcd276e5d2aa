// A real server program (a proxy, a web server) run by a test on a loopback
// port: started in the foreground under `timeout`, so that it ends by itself
// even when the test does not stop it, and stopped when the object goes.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "testkit/temp_dir.hpp"

namespace testkit {

// Empty when the program can be found on PATH, else a sentence that says
// which Debian package brings it.
std::string missing_program(const std::string& program, const std::string& package);

class ServerProcess {
 public:
  // Starts the program and waits until 127.0.0.1:port takes connections.
  // Throws with the program's own output when it does not come up within
  // 10 seconds or ends first.
  ServerProcess(const std::string& program, const std::vector<std::string>& args, std::uint16_t port);
  ~ServerProcess();
  ServerProcess(const ServerProcess&) = delete;
  ServerProcess& operator=(const ServerProcess&) = delete;

  std::uint16_t port() const { return port_; }
  // Stops the program and waits for it; what it printed.
  std::string stop();

 private:
  TempDir dir_;
  std::uint16_t port_;
  std::atomic<bool> ended_{false};
  std::mutex mutex_;
  std::string output_;
  std::thread runner_;
};

}  // namespace testkit
