// A named mutex held by another process, as another copy of the program
// would hold it.
#pragma once

#include <sys/types.h>

#include <string>

#include "platform/path.hpp"

namespace setup_test {

// Holds a named mutex in a forked process of its own until it goes away.
// Made before any thread of the test starts.
class MutexHolder {
 public:
  MutexHolder(const platform::Path& runtime_dir, const std::string& name);
  ~MutexHolder() { release(); }
  MutexHolder(const MutexHolder&) = delete;
  MutexHolder& operator=(const MutexHolder&) = delete;

  bool claimed() const { return claimed_; }
  // Lets the mutex go and waits for the holding process to end.
  void release();

 private:
  pid_t pid_ = -1;
  int release_fd_ = -1;
  bool claimed_ = false;
};

}  // namespace setup_test
