// Errors of the system: Win32 and Winsock codes, with the system's own
// message for each (FormatMessageW).
#include <windows.h>
#include <winsock2.h>

#include <fmt/format.h>

#include "platform/io_error.hpp"
#include "platform/win/wide.hpp"

namespace platform {

namespace {

ErrorKind kind_of(int code) {
  switch (code) {
    case ERROR_FILE_NOT_FOUND: case ERROR_PATH_NOT_FOUND: case ERROR_INVALID_DRIVE: case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME: case ERROR_MOD_NOT_FOUND: case WSAHOST_NOT_FOUND:
      return ErrorKind::NotFound;
    case ERROR_ACCESS_DENIED: case ERROR_SHARING_VIOLATION: case ERROR_LOCK_VIOLATION: case ERROR_WRITE_PROTECT:
    case WSAEACCES:
      return ErrorKind::PermissionDenied;
    case ERROR_ALREADY_EXISTS: case ERROR_FILE_EXISTS:
      return ErrorKind::AlreadyExists;
    case ERROR_TIMEOUT: case ERROR_SEM_TIMEOUT: case WAIT_TIMEOUT: case WSAETIMEDOUT:
      return ErrorKind::TimedOut;
    case ERROR_OPERATION_ABORTED: case WSAEINTR:
      return ErrorKind::Interrupted;
    case WSAEWOULDBLOCK:
      return ErrorKind::WouldBlock;
    case ERROR_HANDLE_EOF:
      return ErrorKind::UnexpectedEof;
    case ERROR_INVALID_DATA:
      return ErrorKind::InvalidData;
    default:
      return ErrorKind::Other;
  }
}

// The system's message for the code, trimmed of its line break; nothing when
// the system has none.
std::string system_message(int code) {
  wchar_t* buffer = nullptr;
  const DWORD length = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
      static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  if (length == 0 || buffer == nullptr) return {};
  std::string text = win::narrow(std::wstring_view(buffer, length));
  ::LocalFree(buffer);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) text.pop_back();
  return text;
}

}  // namespace

std::string os_error_text(int code) {
  std::string message = system_message(code);
  if (message.empty()) message = "Unknown error";
  return fmt::format("{} (os error {})", message, code);
}

IoError IoError::from_os(int code) { return IoError(kind_of(code), code, os_error_text(code)); }

IoError IoError::last_os_error() { return from_os(static_cast<int>(::GetLastError())); }

}  // namespace platform
