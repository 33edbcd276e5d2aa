#include "platform/system_random.hpp"

#include <sys/random.h>

#include <cerrno>

namespace platform {

tl::expected<void, IoError> fill_system_random(std::span<std::uint8_t> buffer) {
  while (!buffer.empty()) {
    // getrandom may give fewer bytes than asked (a signal, more than 32 MiB):
    // the rest is asked for again.
    const ssize_t got = ::getrandom(buffer.data(), buffer.size(), 0);
    if (got < 0) {
      if (errno == EINTR) continue;
      return tl::unexpected(IoError::last_os_error());
    }
    buffer = buffer.subspan(static_cast<std::size_t>(got));
  }
  return {};
}

}  // namespace platform
