// rename(2) as the install test binary sees it: each call is first offered
// to rename_fault.cpp, then made with the system call itself. This file
// includes no C library header that declares rename, so its definition
// stands alone.
#include <fcntl.h>
#include <sys/syscall.h>

#include <cerrno>

extern "C" long syscall(long number, ...) noexcept;
extern "C" bool setup_test_rename_admit(const char* to);

extern "C" int rename(const char* from, const char* to) noexcept {
  if (!setup_test_rename_admit(to)) {
    errno = EIO;
    return -1;
  }
#ifdef SYS_renameat2
  return static_cast<int>(syscall(SYS_renameat2, AT_FDCWD, from, AT_FDCWD, to, 0));
#else
  return static_cast<int>(syscall(SYS_renameat, AT_FDCWD, from, AT_FDCWD, to));
#endif
}
