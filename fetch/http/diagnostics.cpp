#include "fetch/http/diagnostics.hpp"

#include <cstdio>
#include <mutex>

#include <fmt/format.h>

#include "morvane/config.hpp"

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
  const std::string no_message = "a panic that carried no message";
  if (!fault) return no_message;
  try {
    std::rethrow_exception(fault);
  } catch (const std::exception& e) {
    return e.what();
  } catch (const std::string& message) {
    return message;
  } catch (const char* message) {
    return message != nullptr ? std::string(message) : no_message;
  } catch (...) {
    return no_message;
  }
}

}  // namespace fetch
