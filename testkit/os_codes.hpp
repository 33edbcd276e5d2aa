// The system's error codes that tests expect, named for what they mean:
// errno values here, Win32 and Winsock codes in a Windows build. A test's
// expected text is platform::os_error_text of one of these, never one
// system's wording.
#pragma once

namespace testkit::os_codes {

#ifdef _WIN32
inline constexpr int not_found = 2;             // ERROR_FILE_NOT_FOUND
inline constexpr int access_denied = 5;         // ERROR_ACCESS_DENIED
inline constexpr int is_a_directory = 5;        // a folder opened as a file: ERROR_ACCESS_DENIED
inline constexpr int connection_refused = 10061;  // WSAECONNREFUSED
inline constexpr int connection_reset = 10054;    // WSAECONNRESET
inline constexpr int connection_aborted = 10053;  // WSAECONNABORTED
inline constexpr int timed_out = 10060;           // WSAETIMEDOUT
inline constexpr int io_failure = 1117;           // ERROR_IO_DEVICE, what a broken file operation answers
#else
inline constexpr int not_found = 2;             // ENOENT
inline constexpr int access_denied = 13;        // EACCES
inline constexpr int is_a_directory = 21;       // EISDIR
inline constexpr int connection_refused = 111;  // ECONNREFUSED
inline constexpr int connection_reset = 104;    // ECONNRESET
inline constexpr int connection_aborted = 32;   // EPIPE: a send after the peer has gone
inline constexpr int timed_out = 110;           // ETIMEDOUT
inline constexpr int io_failure = 5;            // EIO, what a broken file operation answers
#endif

}  // namespace testkit::os_codes
