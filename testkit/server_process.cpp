#include "testkit/server_process.hpp"

#include <chrono>
#include <stdexcept>

#include "platform/bytes.hpp"
#include "platform/process.hpp"
#include "platform/socket.hpp"
#include "testkit/file_text.hpp"
#include "testkit/host_tools.hpp"
#include "testkit/loopback.hpp"

namespace testkit {

namespace {

// The program ends by itself after this long, whatever happens to the test.
constexpr const char* kLifetime = "120";

}  // namespace

std::string missing_program(const std::string& program, const std::string& package) {
  auto found = run_tool("sh", {"-c", "command -v \"$0\"", program});
  if (found && found->exit_code == 0) return {};
  return program + " is not installed; install it with: apt-get install -y --no-install-recommends " + package;
}

ServerProcess::ServerProcess(const std::string& program, const std::vector<std::string>& args, std::uint16_t port)
    : port_(port) {
  const std::string pid_file = tool_path(dir_ / "pid");
  // sh writes its own pid and then becomes `timeout`, which passes a
  // termination signal on to the program.
  std::vector<std::string> command = {"-c", "echo $$ > \"$0\"; exec timeout " + std::string(kLifetime) + " \"$@\"",
                                      pid_file, program};
  command.insert(command.end(), args.begin(), args.end());
  runner_ = std::thread([this, command] {
    auto result = run_tool("sh", command);
    std::lock_guard lock(mutex_);
    if (result) {
      output_ = platform::to_string(result->stdout_bytes) + platform::to_string(result->stderr_bytes);
    } else {
      output_ = "could not start sh: " + result.error().text();
    }
    ended_ = true;
  });

  const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (std::chrono::steady_clock::now() < give_up && !ended_) {
    if (platform::Socket::connect(loopback4(port), std::chrono::milliseconds(200))) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  const std::string output = stop();
  throw std::runtime_error(program + " did not come up on port " + std::to_string(port) + ":\n" + output);
}

ServerProcess::~ServerProcess() { stop(); }

std::string ServerProcess::stop() {
  if (runner_.joinable()) {
    const std::string pid = read_text_or_empty(dir_ / "pid");
    if (!ended_ && !pid.empty()) {
      std::string trimmed = pid.substr(0, pid.find_first_of("\r\n"));
      (void)run_tool("sh", {"-c", "kill \"$0\"", trimmed});
    }
    runner_.join();
  }
  std::lock_guard lock(mutex_);
  return output_;
}

}  // namespace testkit
