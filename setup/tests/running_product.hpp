// The product stand-in running as the product would: a child process that
// holds "Global\MORVANE.instance" until the object goes (or a minute has
// passed).
#pragma once

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "platform/fs.hpp"
#include "platform/path.hpp"
#include "testkit/release/product_standin.hpp"

namespace setup_test {

class RunningProduct {
 public:
  // Starts the stand-in with the runtime folder of the named mutexes and
  // waits until it holds the mutex.
  RunningProduct(const platform::Path& runtime_dir, const platform::Path& scratch) {
    const platform::Path log = scratch / "product-standin.log";
    std::vector<std::string> env_lines = {"XDG_RUNTIME_DIR=" + runtime_dir.string(),
                                          "MORVANE_PRODUCT_STANDIN_LOG=" + log.string(),
                                          "MORVANE_PRODUCT_SECONDS=60"};
    std::vector<char*> envp;
    for (auto& line : env_lines) envp.push_back(line.data());
    envp.push_back(nullptr);
    std::string program = testkit::product_standin_program().string();
    char* argv[] = {program.data(), nullptr};
    if (::posix_spawn(&pid_, program.c_str(), nullptr, nullptr, argv, envp.data()) != 0) {
      throw std::runtime_error("cannot start " + program);
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!platform::exists(log) || platform::read_file(log).value_or(platform::Bytes{}).empty()) {
      if (std::chrono::steady_clock::now() > deadline) throw std::runtime_error("the product stand-in did not start");
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  ~RunningProduct() {
    ::kill(pid_, SIGKILL);
    int status = 0;
    ::waitpid(pid_, &status, 0);
  }
  RunningProduct(const RunningProduct&) = delete;
  RunningProduct& operator=(const RunningProduct&) = delete;

 private:
  pid_t pid_ = -1;
};

}  // namespace setup_test
