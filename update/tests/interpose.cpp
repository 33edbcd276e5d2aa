// rename(2) and unlink(2) as the test binary sees them: each call is first
// offered to the fault injector (fault_injection.cpp), then made with the
// system call itself. This file includes no C library header that declares
// the two functions, so its definitions stand alone.
#include <fcntl.h>
#include <sys/syscall.h>

#include <cerrno>

extern "C" long syscall(long number, ...) noexcept;
extern "C" bool swaptest_fault_admit(const char* what, const char* from, const char* to);

extern "C" int rename(const char* from, const char* to) noexcept {
  if (!swaptest_fault_admit("rename", from, to)) {
    errno = EIO;
    return -1;
  }
#ifdef SYS_renameat2
  return static_cast<int>(syscall(SYS_renameat2, AT_FDCWD, from, AT_FDCWD, to, 0));
#else
  return static_cast<int>(syscall(SYS_renameat, AT_FDCWD, from, AT_FDCWD, to));
#endif
}

extern "C" int unlink(const char* path) noexcept {
  if (!swaptest_fault_admit("unlink", path, nullptr)) {
    errno = EIO;
    return -1;
  }
  return static_cast<int>(syscall(SYS_unlinkat, AT_FDCWD, path, 0));
}

// remove(3) is how the C++ library removes each entry of a folder that is
// removed with everything in it.
extern "C" int remove(const char* path) noexcept {
  if (!swaptest_fault_admit("remove", path, nullptr)) {
    errno = EIO;
    return -1;
  }
  if (syscall(SYS_unlinkat, AT_FDCWD, path, 0) == 0) return 0;
  if (errno != EISDIR) return -1;
  return static_cast<int>(syscall(SYS_unlinkat, AT_FDCWD, path, AT_REMOVEDIR));
}

// unlinkat(2): how the C++ library removes the entries inside a folder that
// it removes with everything in it.
extern "C" int unlinkat(int dir, const char* path, int flags) noexcept {
  if (!swaptest_fault_admit("unlinkat", path, nullptr)) {
    errno = EIO;
    return -1;
  }
  return static_cast<int>(syscall(SYS_unlinkat, dir, path, flags));
}
