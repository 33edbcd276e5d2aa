#include "testkit/file_fault_interpose.hpp"

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include <atomic>
#include <chrono>
#include <thread>
#include <memory>
#include <mutex>
#include <string_view>

#include "platform/path.hpp"

// Asked by the interposed functions (file_fault_hooks.cpp) before they do
// anything: false means "fail with an I/O error".
extern "C" bool testkit_file_fault_admit(const char* what, const char* from, const char* to, bool write_through);
// Told by the interposed flushes, once one has succeeded, what they flushed.
extern "C" void testkit_file_fault_synced(const char* path);

namespace testkit::file_faults {

namespace {

struct State {
  std::mutex mutex;
  int next = 0;
  int failed = 0;
  int stop_fd = -1;
  Policy policy;
  std::vector<Operation> log;
  std::vector<Operation> timeline;
};

// Never destroyed: files are still removed while the process exits, after
// the destructors of function-local statics have run.
union Holder {
  State state;
  Holder() : state() {}
  ~Holder() {}
};

State& state() {
  static Holder holder;
  return holder.state;
}

}  // namespace

std::string Operation::text() const { return to.empty() ? what + " " + from : what + " " + from + " -> " + to; }

void reset() {
  std::lock_guard lock(state().mutex);
  state().next = 0;
  state().failed = 0;
  state().stop_fd = -1;
  state().policy = nullptr;
  state().log.clear();
  state().timeline.clear();
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

std::vector<Operation> timeline() {
  std::lock_guard lock(state().mutex);
  return state().timeline;
}

namespace {

// A path as the system compares it, for telling whether a flush was of the
// folder that a rename named.
platform::Path comparable(const std::string& text) {
  return platform::comparable_path(platform::path_from_utf8(text).lexically_normal());
}

bool flushed_between(const std::vector<Operation>& timeline, std::size_t after, std::size_t before,
                     const platform::Path& folder) {
  for (std::size_t i = after + 1; i < before && i < timeline.size(); ++i) {
    if (timeline[i].what == "sync" && comparable(timeline[i].from) == folder) return true;
  }
  return false;
}

// The folder that holds a path's last component.
platform::Path holder_of(const std::string& text) {
  platform::Path path = comparable(text);
  if (!path.has_filename()) path = path.parent_path();
  return path.parent_path();
}

}  // namespace

bool is_removal(const Operation& operation) {
  return operation.what == "unlink" || operation.what == "unlinkat" || operation.what == "remove";
}

bool on_disk_before(const std::vector<Operation>& timeline, std::size_t at, std::size_t before) {
  const Operation& operation = timeline.at(at);
  if (is_removal(operation)) {
    const platform::Path folder = holder_of(operation.from);
    if (flushed_between(timeline, at, before, folder)) return true;
    for (std::size_t later = at + 1; later < before && later < timeline.size(); ++later) {
      if (is_removal(timeline[later]) && comparable(timeline[later].from) == folder &&
          on_disk_before(timeline, later, before)) {
        return true;
      }
    }
    return false;
  }
  if (operation.write_through) return true;
  const platform::Path into = holder_of(operation.to);
  const platform::Path left = holder_of(operation.from);
  return flushed_between(timeline, at, before, into) && flushed_between(timeline, at, before, left);
}

int failures() {
  std::lock_guard lock(state().mutex);
  return state().failed;
}

void fail_from(int n) {
  set_policy([n](const Operation& operation) { return operation.index >= n ? Action::Fail : Action::Proceed; });
}

void stop_before(int n, int fd) {
  set_stop_fd(fd);
  set_policy([n](const Operation& operation) { return operation.index == n ? Action::Stop : Action::Proceed; });
}

void fail_next_rename_onto(std::string to_suffix) {
  auto spent = std::make_shared<std::atomic<bool>>(false);
  set_policy([suffix = std::move(to_suffix), spent](const Operation& operation) {
    if (operation.what != "rename" || !std::string_view(operation.to).ends_with(suffix)) return Action::Proceed;
    return spent->exchange(true) ? Action::Proceed : Action::Fail;
  });
}

}  // namespace testkit::file_faults

extern "C" bool testkit_file_fault_admit(const char* what, const char* from, const char* to, bool write_through) {
  using namespace testkit::file_faults;
  Operation operation;
  Policy policy;
  int stop_fd = -1;
  {
    std::lock_guard lock(state().mutex);
    operation = Operation{state().next++, what, from, to != nullptr ? to : "", write_through};
    state().log.push_back(operation);
    state().timeline.push_back(operation);
    policy = state().policy;
    stop_fd = state().stop_fd;
  }
  const Action action = policy ? policy(operation) : Action::Proceed;
  if (action == Action::Stop) {
    const char byte = 's';
    if (stop_fd >= 0) (void)::write(stop_fd, &byte, 1);
    for (;;) std::this_thread::sleep_for(std::chrono::hours(1));
  }
  if (action == Action::Fail) {
    std::lock_guard lock(state().mutex);
    ++state().failed;
  }
  return action == Action::Proceed;
}

extern "C" void testkit_file_fault_synced(const char* path) {
  using namespace testkit::file_faults;
  std::lock_guard lock(state().mutex);
  state().timeline.push_back(Operation{-1, "sync", path, "", false});
}
