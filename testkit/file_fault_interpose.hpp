// The file operations of a test binary, watched and broken on purpose.
//
// A binary that links this in puts its own rename(2), unlink(2), unlinkat(2)
// and remove(3) in front of the C library's (file_fault_hooks.cpp), for the
// whole process, so every move and removal that the program makes through
// the platform layer passes through a policy first. The policy sees each
// operation (numbered from 0 since the last reset) and lets it happen, makes
// it fail with an I/O error as a failing disk would, or stops the process
// right there until it is killed, as a power cut would.
//
// Flushes to the disk (fsync(2) and fdatasync(2) here, FlushFileBuffers on
// Windows) are watched too, never broken: they are recorded in the timeline,
// between the operations they came after, so that a test can tell whether a
// move was on the disk before the program went on.
//
// Link it only into the test binaries that break file operations on purpose.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace testkit::file_faults {

struct Operation {
  int index = 0;     // -1 for a flush, which is not numbered
  std::string what;  // "rename", "unlink", "unlinkat", "remove"; "sync" for a flush
  // the path (the source of a rename; what a flush flushed), made whole when
  // the call named it relative to a folder's descriptor
  std::string from;
  std::string to;    // the destination of a rename, else empty
  // A move made with MOVEFILE_WRITE_THROUGH (Windows), which is on the disk
  // when the call returns.
  bool write_through = false;
  // "rename <from> -> <to>" or "<what> <from>"
  std::string text() const;
};

enum class Action { Proceed, Fail, Stop };

using Policy = std::function<Action(const Operation&)>;

// Counting from 0 again, an empty log, no failures, every operation allowed.
void reset();

// From now on the policy decides (it runs on the thread that makes the
// operation and must not move or remove files itself).
void set_policy(Policy policy);

// Just before a Stop, one byte goes to this descriptor; then the process
// waits until it is killed.
void set_stop_fd(int fd);

// The operations since the last reset, failed and stopped ones included.
std::vector<Operation> log();

// The operations and the flushes since the last reset, in the order they
// were made; a flush (what "sync") names the file or folder it flushed. It
// is recorded once it has succeeded, and never offered to the policy.
std::vector<Operation> timeline();

// Whether the rename or removal at position `at` of the timeline was on the
// disk before position `before` (the timeline's size for "by its end"). A
// rename is when it was made with MOVEFILE_WRITE_THROUGH, or followed, before
// `before`, by a flush of the folder it moved into and of the folder it left.
// A removal is when it was followed, before `before`, by a flush of the
// folder that held it, or by the removal of that folder, itself on the disk
// in time (a folder that is gone for good takes its entries along).
bool on_disk_before(const std::vector<Operation>& timeline, std::size_t at, std::size_t before);

// Whether the operation removed a file or a folder ("unlink", "unlinkat",
// "remove").
bool is_removal(const Operation& operation);

// How many operations have failed since the last reset.
int failures();

// Policies for the common cases; each replaces the policy in force.

// Operation `n` and every later one fail, without touching the disk.
void fail_from(int n);

// Just before operation `n`, one byte is written to `fd` and the process
// then waits, doing nothing more, until it is killed.
void stop_before(int n, int fd);

// The next rename onto a path that ends with `to_suffix` fails; the ones
// after it go through.
void fail_next_rename_onto(std::string to_suffix);

// Resets at the start and at the end of a scope, whatever happens in it.
struct Scope {
  Scope() { reset(); }
  Scope(const Scope&) = delete;
  Scope& operator=(const Scope&) = delete;
  ~Scope() { reset(); }
};

}  // namespace testkit::file_faults
