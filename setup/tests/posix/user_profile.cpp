// The installed product started as the shell starts it, on POSIX.
#include "setup/tests/user_profile.hpp"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <stdexcept>
#include <thread>

#include "setup/common/install_paths.hpp"
#include "setup/tests/disk_views.hpp"
#include "testkit/release/product_standin.hpp"
#include "update/own_file_names.hpp"

namespace setup_test {

using namespace std::chrono_literals;

RunningInstalledProduct::RunningInstalledProduct(const UserProfile& user) {
  const platform::Path log = user.root / "product-standin.log";
  std::vector<std::string> env_lines = {
      "XDG_RUNTIME_DIR=" + user.run_dir.string(),
      "MORVANE_PRODUCT_STANDIN=" + testkit::product_standin_program().string(),
      "MORVANE_PRODUCT_STANDIN_LOG=" + log.string(),
      "MORVANE_PRODUCT_SECONDS=60",
  };
  std::vector<char*> envp;
  for (auto& line : env_lines) envp.push_back(line.data());
  envp.push_back(nullptr);
  // What execvp does with an executable that is no object file.
  std::string shell = "/bin/sh";
  std::string exe = (user.install / update::exe_file_name).string();
  char* argv[] = {shell.data(), exe.data(), nullptr};
  pid_t pid = 0;
  if (::posix_spawn(&pid, shell.c_str(), nullptr, nullptr, argv, envp.data()) != 0) {
    throw std::runtime_error("cannot start " + exe);
  }
  process_ = pid;
  const auto deadline = std::chrono::steady_clock::now() + 10s;
  while ((started_ = read_text(log)).empty()) {
    int status = 0;
    const bool ended = ::waitpid(pid, &status, WNOHANG) == pid;
    if (ended || std::chrono::steady_clock::now() > deadline) {
      if (!ended) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
      }
      throw std::runtime_error("the installed product did not start: " + exe);
    }
    std::this_thread::sleep_for(10ms);
  }
}

RunningInstalledProduct::~RunningInstalledProduct() {
  const auto pid = static_cast<pid_t>(process_);
  ::kill(pid, SIGKILL);
  int status = 0;
  ::waitpid(pid, &status, 0);
}

}  // namespace setup_test
