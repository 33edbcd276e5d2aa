#include <cerrno>
#include <cstring>
#include <string>

#include <fmt/format.h>

#include "platform/io_error.hpp"

namespace platform {

namespace {

ErrorKind kind_of(int code) {
  switch (code) {
    case ENOENT: return ErrorKind::NotFound;
    case EACCES: case EPERM: return ErrorKind::PermissionDenied;
    case EEXIST: return ErrorKind::AlreadyExists;
    case ETIMEDOUT: return ErrorKind::TimedOut;
    case EINTR: return ErrorKind::Interrupted;
    case EAGAIN: return ErrorKind::WouldBlock;
    default: return ErrorKind::Other;
  }
}

}  // namespace

std::string os_error_text(int code) {
  char buffer[256];
  // The GNU strerror_r, which answers with a pointer to the message.
  const char* message = ::strerror_r(code, buffer, sizeof buffer);
  std::string text = message;
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return fmt::format("{} (os error {})", text, code);
}

IoError IoError::from_os(int code) { return IoError(kind_of(code), code, os_error_text(code)); }

IoError IoError::last_os_error() { return from_os(errno); }

}  // namespace platform
