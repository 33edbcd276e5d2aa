#include "setup/tests/rename_fault.hpp"

#include <mutex>
#include <optional>
#include <string_view>

namespace setup_test::rename_fault {

namespace {

std::mutex state_mutex;
std::optional<std::string> failing_suffix;
int failed = 0;

}  // namespace

void fail_next_rename_onto(std::string to_suffix) {
  std::lock_guard lock(state_mutex);
  failing_suffix = std::move(to_suffix);
}

void reset() {
  std::lock_guard lock(state_mutex);
  failing_suffix.reset();
  failed = 0;
}

int failures() {
  std::lock_guard lock(state_mutex);
  return failed;
}

}  // namespace setup_test::rename_fault

// Asked by the interposed rename(2) before each rename: false makes it fail.
extern "C" bool setup_test_rename_admit(const char* to) {
  using namespace setup_test::rename_fault;
  std::lock_guard lock(state_mutex);
  if (!failing_suffix) return true;
  const std::string_view target(to);
  if (!target.ends_with(*failing_suffix)) return true;
  ++failed;
  failing_suffix.reset();
  return false;
}
