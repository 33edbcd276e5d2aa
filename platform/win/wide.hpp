// What the Windows layer's files share: UTF-16 text for the system's calls,
// handles that close themselves, and errors from GetLastError.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>
#include <utility>

#include <tl/expected.hpp>

#include "platform/io_error.hpp"

namespace platform::win {

// UTF-8 to UTF-16 (invalid UTF-8 becomes U+FFFD); c_str() gives the
// terminated text that the calls take.
std::wstring wide(std::string_view utf8);

// UTF-16 to UTF-8 (unpaired surrogates become U+FFFD).
std::string narrow(std::wstring_view text);

// The error that the last failed call left behind.
inline tl::unexpected<IoError> last_error() { return tl::unexpected(IoError::last_os_error()); }

// A kernel handle, closed when the object goes. Both of the system's
// "no handle" values (nullptr and INVALID_HANDLE_VALUE) count as none.
class Handle {
 public:
  Handle() = default;
  explicit Handle(HANDLE handle) : handle_(handle) {}
  Handle(Handle&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
  Handle& operator=(Handle&& other) noexcept {
    if (this != &other) {
      reset();
      handle_ = std::exchange(other.handle_, nullptr);
    }
    return *this;
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  ~Handle() { reset(); }

  explicit operator bool() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }
  HANDLE get() const { return handle_; }
  HANDLE release() { return std::exchange(handle_, nullptr); }
  void reset() {
    if (*this) ::CloseHandle(handle_);
    handle_ = nullptr;
  }

 private:
  HANDLE handle_ = nullptr;
};

}  // namespace platform::win
