#include "platform/thread.hpp"

#include <pthread.h>

#include <memory>

namespace platform {

namespace {

struct ThreadStart {
  std::string name;
  std::function<void()> body;
};

void* thread_main(void* raw) {
  std::unique_ptr<ThreadStart> start(static_cast<ThreadStart*>(raw));
  ::pthread_setname_np(::pthread_self(), start->name.substr(0, thread_name_limit()).c_str());
  start->body();
  return nullptr;
}

}  // namespace

tl::expected<void, IoError> spawn_detached_thread(const std::string& name, std::size_t stack_size,
                                                  std::function<void()> body) {
  pthread_attr_t attr;
  ::pthread_attr_init(&attr);
  ::pthread_attr_setstacksize(&attr, stack_size);
  ::pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
  auto start = std::make_unique<ThreadStart>(ThreadStart{name, std::move(body)});
  pthread_t thread;
  const int rc = ::pthread_create(&thread, &attr, thread_main, start.get());
  ::pthread_attr_destroy(&attr);
  if (rc != 0) return tl::unexpected(IoError::from_os(rc));
  start.release();  // the thread owns it now
  return {};
}

// POSIX thread names hold at most 15 bytes.
std::size_t thread_name_limit() { return 15; }

std::string current_thread_name() {
  char name[64] = {};
  ::pthread_getname_np(::pthread_self(), name, sizeof name);
  return name;
}

}  // namespace platform
