// A named mutex held by another process, as another copy of the program
// would hold it.
#pragma once

#include <cstdint>
#include <string>

#include "platform/path.hpp"

namespace setup_test {

// Holds a named mutex until it goes away: here in a forked process of its
// own, made before any thread of the test starts (the runtime folder is that
// process's XDG_RUNTIME_DIR); on Windows in the test's own process, which is
// another process than the program under test all the same.
class MutexHolder {
 public:
  MutexHolder(const platform::Path& runtime_dir, const std::string& name);
  ~MutexHolder() { release(); }
  MutexHolder(const MutexHolder&) = delete;
  MutexHolder& operator=(const MutexHolder&) = delete;

  bool claimed() const { return claimed_; }
  // Whether it claimed the mutex and holds it still.
  bool holding() const;
  // Lets the mutex go and waits for the holding process to end.
  void release();

 private:
  std::intptr_t holder_ = -1;  // the forked pid here, the mutex HANDLE on Windows
  int release_fd_ = -1;
  bool claimed_ = false;
};

}  // namespace setup_test
