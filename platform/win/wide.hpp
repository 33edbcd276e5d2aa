// What the Windows layer's files share: UTF-16 text for the system's calls,
// handles that close themselves, and errors from GetLastError.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>
#include <utility>

#include <tl/expected.hpp>

#include "platform/io_error.hpp"
#include "platform/owned_handle.hpp"

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
struct KernelHandleTraits {
  using Value = HANDLE;
  static Value none() { return nullptr; }
  static bool is_open(Value handle) { return handle != nullptr && handle != INVALID_HANDLE_VALUE; }
  static void close(Value handle) noexcept { ::CloseHandle(handle); }
};

using Handle = OwnedHandle<KernelHandleTraits>;

}  // namespace platform::win
