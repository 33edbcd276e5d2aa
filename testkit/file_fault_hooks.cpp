// rename(2), unlink(2), unlinkat(2) and remove(3) as a test binary that
// links this in sees them: each call is first offered to the policy of
// file_fault_interpose.cpp, then made with the system call itself. fsync(2)
// and fdatasync(2) are made first and, when they succeed, recorded with the
// path of what they flushed; a removal relative to a folder's descriptor is
// recorded with the folder's path in front. No C library header that
// declares these functions is included here, so the definitions stand alone.
#include <fcntl.h>
#include <sys/syscall.h>

#include <cerrno>
#include <cstddef>

extern "C" long syscall(long number, ...) noexcept;
extern "C" bool testkit_file_fault_admit(const char* what, const char* from, const char* to, bool write_through);
extern "C" void testkit_file_fault_synced(const char* path);

namespace {

// The path that the descriptor is open on, as the system names it, into
// `path`; false when it cannot be told.
bool path_of(int fd, char (&path)[4096]) {
  char link[32] = "/proc/self/fd/";
  char digits[12];
  int count = 0;
  for (unsigned value = static_cast<unsigned>(fd); count == 0 || value != 0; value /= 10) {
    digits[count++] = static_cast<char>('0' + value % 10);
  }
  char* end = link + 14;
  while (count > 0) *end++ = digits[--count];
  *end = '\0';
  const int saved = errno;
  const long length = syscall(SYS_readlinkat, AT_FDCWD, link, path, sizeof path - 1);
  errno = saved;
  if (length <= 0) return false;
  path[length] = '\0';
  return true;
}

// Records the path that the descriptor is open on.
void note_synced(int fd) {
  char path[4096];
  if (path_of(fd, path)) testkit_file_fault_synced(path);
}

// The path that unlinkat(2) names: relative to the folder's descriptor
// unless it is absolute or the folder is the working one.
void whole_path(int dir, const char* name, char (&whole)[4096]) {
  std::size_t used = 0;
  if (dir != AT_FDCWD && name[0] != '/' && path_of(dir, whole)) {
    while (whole[used] != '\0') ++used;
    if (used + 1 < sizeof whole) whole[used++] = '/';
  }
  for (std::size_t i = 0; name[i] != '\0' && used + 1 < sizeof whole; ++i) whole[used++] = name[i];
  whole[used] = '\0';
}

}  // namespace

extern "C" int rename(const char* from, const char* to) noexcept {
  if (!testkit_file_fault_admit("rename", from, to, false)) {
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
  if (!testkit_file_fault_admit("unlink", path, nullptr, false)) {
    errno = EIO;
    return -1;
  }
  return static_cast<int>(syscall(SYS_unlinkat, AT_FDCWD, path, 0));
}

extern "C" int remove(const char* path) noexcept {
  if (!testkit_file_fault_admit("remove", path, nullptr, false)) {
    errno = EIO;
    return -1;
  }
  if (syscall(SYS_unlinkat, AT_FDCWD, path, 0) == 0) return 0;
  if (errno != EISDIR) return -1;
  return static_cast<int>(syscall(SYS_unlinkat, AT_FDCWD, path, AT_REMOVEDIR));
}

extern "C" int unlinkat(int dir, const char* path, int flags) noexcept {
  char whole[4096];
  whole_path(dir, path, whole);
  if (!testkit_file_fault_admit("unlinkat", whole, nullptr, false)) {
    errno = EIO;
    return -1;
  }
  return static_cast<int>(syscall(SYS_unlinkat, dir, path, flags));
}

// Waits for the disk, as the C library's do, and so is not noexcept.
extern "C" int fsync(int fd) {
  const long result = syscall(SYS_fsync, fd);
  if (result == 0) note_synced(fd);
  return static_cast<int>(result);
}

extern "C" int fdatasync(int fd) {
  const long result = syscall(SYS_fdatasync, fd);
  if (result == 0) note_synced(fd);
  return static_cast<int>(result);
}
