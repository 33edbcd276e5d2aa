// Renames that fail on purpose, as a locked file or a full disk would make
// them fail.
//
// The install test binary puts its own rename(2) in front of the C
// library's (rename_interpose.cpp), so every move that the program makes
// through the platform layer passes through here first. While armed, a
// rename whose destination path ends with the chosen text fails with EIO
// and touches nothing, once.
#pragma once

#include <string>

namespace setup_test::rename_fault {

// The next rename onto a path that ends with `to_suffix` fails; the ones
// after it go through.
void fail_next_rename_onto(std::string to_suffix);

// Lets every rename through again.
void reset();

// How many renames have failed since the last reset.
int failures();

// Disarms at the end of a scope, whatever happens in it.
struct Disarm {
  Disarm() = default;
  Disarm(const Disarm&) = delete;
  Disarm& operator=(const Disarm&) = delete;
  ~Disarm() { reset(); }
};

}  // namespace setup_test::rename_fault
