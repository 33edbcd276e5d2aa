#include "update/tests/fault_injection.hpp"

#include <unistd.h>

#include <mutex>

// Called by the interposed rename and unlink (interpose.cpp) before they do
// anything: false means "fail with EIO".
extern "C" bool swaptest_fault_admit(const char* what, const char* from, const char* to);

namespace swaptest::fault {

namespace {

struct State {
  std::mutex mutex;
  int next = 0;
  int fail_at = -1;
  int stop_at = -1;
  int stop_fd = -1;
  std::vector<std::string> log;
};

State& state() {
  static State s;
  return s;
}

}  // namespace

void reset() {
  std::lock_guard lock(state().mutex);
  state().next = 0;
  state().fail_at = -1;
  state().stop_at = -1;
  state().stop_fd = -1;
  state().log.clear();
}

void fail_from(int n) {
  std::lock_guard lock(state().mutex);
  state().fail_at = n;
}

void stop_before(int n, int fd) {
  std::lock_guard lock(state().mutex);
  state().stop_at = n;
  state().stop_fd = fd;
}

int count() {
  std::lock_guard lock(state().mutex);
  return state().next;
}

std::vector<std::string> log() {
  std::lock_guard lock(state().mutex);
  return state().log;
}

}  // namespace swaptest::fault

extern "C" bool swaptest_fault_admit(const char* what, const char* from, const char* to) {
  using swaptest::fault::state;
  int stop_fd = -1;
  bool fail = false;
  {
    std::lock_guard lock(state().mutex);
    const int n = state().next++;
    std::string entry = std::string(what) + " " + from;
    if (to != nullptr) entry += std::string(" -> ") + to;
    state().log.push_back(std::move(entry));
    if (n == state().stop_at) stop_fd = state().stop_fd;
    fail = state().fail_at >= 0 && n >= state().fail_at;
  }
  if (stop_fd >= 0) {
    const char byte = 's';
    (void)::write(stop_fd, &byte, 1);
    for (;;) ::pause();
  }
  return !fail;
}
