// rename(2), unlink(2), unlinkat(2) and remove(3) as a test binary that
// links this in sees them: each call is first offered to the policy of
// file_fault_interpose.cpp, then made with the system call itself. No C
// library header that declares these functions is included here, so the
// definitions stand alone.
#include <fcntl.h>
#include <sys/syscall.h>

#include <cerrno>

extern "C" long syscall(long number, ...) noexcept;
extern "C" bool testkit_file_fault_admit(const char* what, const char* from, const char* to);

extern "C" int rename(const char* from, const char* to) noexcept {
  if (!testkit_file_fault_admit("rename", from, to)) {
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
  if (!testkit_file_fault_admit("unlink", path, nullptr)) {
    errno = EIO;
    return -1;
  }
  return static_cast<int>(syscall(SYS_unlinkat, AT_FDCWD, path, 0));
}

extern "C" int remove(const char* path) noexcept {
  if (!testkit_file_fault_admit("remove", path, nullptr)) {
    errno = EIO;
    return -1;
  }
  if (syscall(SYS_unlinkat, AT_FDCWD, path, 0) == 0) return 0;
  if (errno != EISDIR) return -1;
  return static_cast<int>(syscall(SYS_unlinkat, AT_FDCWD, path, AT_REMOVEDIR));
}

extern "C" int unlinkat(int dir, const char* path, int flags) noexcept {
  if (!testkit_file_fault_admit("unlinkat", path, nullptr)) {
    errno = EIO;
    return -1;
  }
  return static_cast<int>(syscall(SYS_unlinkat, dir, path, flags));
}
