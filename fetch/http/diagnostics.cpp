#include "fetch/http/diagnostics.hpp"

#include <cstdio>
#include <mutex>

#include <fmt/format.h>

#include "morvane/config.hpp"
#include "platform/fault_text.hpp"

namespace fetch {

void log_stderr(const std::string& text) noexcept {
  static std::mutex stderr_lock;
  // A diagnostic line is never worth a failure: a windowed process may have
  // no standard error, and then the write just fails.
  try {
    const std::string line = fmt::format("{}: {}\n", config::product_lower, text);
    std::lock_guard lock(stderr_lock);
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
  } catch (...) {
  }
}

std::string panic_text(std::exception_ptr fault) {
  return platform::fault_message(fault).value_or("a panic that carried no message");
}

}  // namespace fetch
