// The file operations of the test binary, watched and broken on purpose.
//
// The binary puts its own rename(2), unlink(2), unlinkat(2) and remove(3) in
// front of the C library's (file_fault_hooks.cpp), so every move and removal
// that the program makes through the platform layer passes through a policy
// first. The policy sees each operation (numbered from 0 since the last
// reset) and lets it happen, makes it fail with EIO as a locked file would,
// or stops the process right there until it is killed, as a power cut would.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace stagetest::faults {

struct Operation {
  int index = 0;
  std::string what;  // "rename", "unlink", "unlinkat", "remove"
  std::string from;  // the path (the source of a rename)
  std::string to;    // the destination of a rename, else empty
  // "rename <from> -> <to>" or "<what> <from>"
  std::string text() const;
};

enum class Action { Proceed, Fail, Stop };

using Policy = std::function<Action(const Operation&)>;

// Counting from 0 again, an empty log, every operation allowed.
void reset();

// From now on the policy decides (it runs on the thread that makes the
// operation and must not move or remove files itself).
void set_policy(Policy policy);

// Just before a Stop, one byte goes to this descriptor; then the process
// waits until it is killed.
void set_stop_fd(int fd);

// The operations since the last reset, failed and stopped ones included.
std::vector<Operation> log();

// Resets at the end of a scope, whatever happens in it.
struct Scope {
  Scope() { reset(); }
  Scope(const Scope&) = delete;
  Scope& operator=(const Scope&) = delete;
  ~Scope() { reset(); }
};

}  // namespace stagetest::faults
