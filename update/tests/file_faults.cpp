#include "update/tests/file_faults.hpp"

#include <unistd.h>

#include <mutex>

// Asked by the interposed functions (file_fault_hooks.cpp) before they do
// anything: false means "fail with EIO".
extern "C" bool stagetest_file_admit(const char* what, const char* from, const char* to);

namespace stagetest::faults {

namespace {

struct State {
  std::mutex mutex;
  int next = 0;
  int stop_fd = -1;
  Policy policy;
  std::vector<Operation> log;
};

State& state() {
  static State s;
  return s;
}

}  // namespace

std::string Operation::text() const { return to.empty() ? what + " " + from : what + " " + from + " -> " + to; }

void reset() {
  std::lock_guard lock(state().mutex);
  state().next = 0;
  state().stop_fd = -1;
  state().policy = nullptr;
  state().log.clear();
}

void set_policy(Policy policy) {
  std::lock_guard lock(state().mutex);
  state().policy = std::move(policy);
}

void set_stop_fd(int fd) {
  std::lock_guard lock(state().mutex);
  state().stop_fd = fd;
}

std::vector<Operation> log() {
  std::lock_guard lock(state().mutex);
  return state().log;
}

}  // namespace stagetest::faults

extern "C" bool stagetest_file_admit(const char* what, const char* from, const char* to) {
  using namespace stagetest::faults;
  Operation operation;
  Policy policy;
  int stop_fd = -1;
  {
    std::lock_guard lock(state().mutex);
    operation = Operation{state().next++, what, from, to != nullptr ? to : ""};
    state().log.push_back(operation);
    policy = state().policy;
    stop_fd = state().stop_fd;
  }
  const Action action = policy ? policy(operation) : Action::Proceed;
  if (action == Action::Stop) {
    const char byte = 's';
    if (stop_fd >= 0) (void)::write(stop_fd, &byte, 1);
    for (;;) ::pause();
  }
  return action == Action::Proceed;
}
