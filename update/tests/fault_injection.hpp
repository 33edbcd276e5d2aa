// Faults at exact points of a sequence of file operations.
//
// The test binary puts its own rename(2) and unlink(2) in front of the C
// library's, so every move and every file removal that the program makes
// through the platform layer passes through here and is counted, in order,
// from 0. While armed, the operation with a chosen number (and every one
// after it) can be made to fail with EIO, as a full disk or a locked file
// would; or the process can stop just before the chosen operation and wait to
// be killed, as a power cut would stop it.
#pragma once

#include <string>
#include <vector>

namespace swaptest::fault {

// Disarms and sets the count back to 0.
void reset();

// Operation `n` and every later one fail, without touching the disk.
void fail_from(int n);

// Just before operation `n`, one byte is written to `fd` and the process
// then waits, doing nothing more, until it is killed.
void stop_before(int n, int fd);

// The operations counted since the last reset (failed ones included).
int count();

// What each counted operation was: "rename <from> -> <to>" or "unlink <path>".
std::vector<std::string> log();

// Disarms at the end of a scope, whatever happens in it.
struct Disarm {
  Disarm() = default;
  Disarm(const Disarm&) = delete;
  Disarm& operator=(const Disarm&) = delete;
  ~Disarm() { reset(); }
};

}  // namespace swaptest::fault
