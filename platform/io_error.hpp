// An I/O error: a kind and a display text.
//
// Errors that come from the operating system carry its error code and display
// as the system's message for the code followed by " (os error N)". Errors made
// by the program itself carry their own text.
#pragma once

#include <string>
#include <utility>

namespace platform {

enum class ErrorKind {
  NotFound,
  PermissionDenied,
  AlreadyExists,
  TimedOut,
  Interrupted,
  WouldBlock,
  UnexpectedEof,
  InvalidData,
  WriteZero,
  Other,
};

class IoError {
 public:
  // An error of the operating system, from its error code (errno here).
  static IoError from_os(int code);
  // The error that the last failed system call left behind.
  static IoError last_os_error();
  // An error made by the program, with its own text.
  static IoError custom(ErrorKind kind, std::string text) { return IoError(kind, 0, std::move(text)); }
  // A write that took none of the bytes left: "failed to write whole buffer"
  // (kind WriteZero).
  static IoError write_zero() { return custom(ErrorKind::WriteZero, "failed to write whole buffer"); }

  ErrorKind kind() const { return kind_; }
  // The system's code, or 0 for an error made by the program.
  int os_code() const { return os_code_; }
  const std::string& text() const { return text_; }

 private:
  IoError(ErrorKind kind, int os_code, std::string text)
      : kind_(kind), os_code_(os_code), text_(std::move(text)) {}

  ErrorKind kind_;
  int os_code_;
  std::string text_;
};

// The system's message for an error code, without trailing line breaks,
// followed by " (os error N)".
std::string os_error_text(int code);

}  // namespace platform
