#include "platform/fs.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>
#include <utility>
#include <vector>

#include "platform/posix/descriptor.hpp"

namespace platform {

namespace {

tl::unexpected<IoError> last_error() { return tl::unexpected(IoError::last_os_error()); }

int to_fd(std::intptr_t handle) { return static_cast<int>(handle); }

using posix::Descriptor;

// Closes now and answers with what closing said: a write that the system
// held back can still fail here.
IoResult<void> close_reporting(Descriptor& fd) {
  if (::close(fd.release()) != 0) return last_error();
  return {};
}

// Writes every byte. A write cut short (a disk that has just filled up) is
// followed by another one, which then answers with the system's reason.
IoResult<void> write_fully(int fd, ByteView bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t put = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (put < 0) {
      if (errno == EINTR) continue;
      return last_error();
    }
    if (put == 0) return tl::unexpected(IoError::write_zero());
    done += static_cast<std::size_t>(put);
  }
  return {};
}

bool same_identity(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

// The folder that holds a path's last component: its parent, or the working
// folder for a bare name.
Path folder_of(const Path& path) {
  const Path parent = path.parent_path();
  return parent.empty() ? Path(".") : parent;
}

// The folder that holds what the path names, a trailing separator aside
// ("a/b/" names b, held by a).
Path holder_of(const Path& path) { return folder_of(path.has_filename() ? path : path.parent_path()); }

// Puts a folder's entries on the disk: a rename or a new entry in it is not
// there until the folder itself is flushed, and a power cut before that can
// undo it while later writes survive. A file system that cannot flush a
// folder (EINVAL) keeps its entries as it does, which is all there is.
IoResult<void> sync_folder(const Path& folder) {
  Descriptor fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (fd.get() < 0) return last_error();
  if (::fsync(fd.get()) != 0 && errno != EINVAL) return last_error();
  return {};
}

}  // namespace

IoResult<Metadata> metadata(const Path& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return last_error();
  Metadata meta;
  meta.is_file = S_ISREG(st.st_mode);
  meta.is_dir = S_ISDIR(st.st_mode);
  meta.size = static_cast<std::uint64_t>(st.st_size);
  return meta;
}

bool same_file(const Path& a, const Path& b) {
  struct stat first {};
  struct stat second {};
  return ::stat(a.c_str(), &first) == 0 && ::stat(b.c_str(), &second) == 0 && same_identity(first, second);
}

IoResult<void> create_dirs(const Path& path) {
  if (path.empty()) return {};
  // The folders that are missing now, the deepest first.
  std::vector<Path> missing;
  for (Path folder = path; !folder.empty(); folder = folder.parent_path()) {
    struct stat st {};
    if (::stat(folder.c_str(), &st) == 0 || errno != ENOENT || folder == folder.parent_path()) break;
    missing.push_back(folder);
  }
  std::error_code ec;
  std::filesystem::create_directories(path, ec);
  if (ec) return tl::unexpected(IoError::from_os(ec.value()));
  // Each folder made here is an entry of its parent, on the disk only once
  // the parent is flushed.
  for (auto folder = missing.rbegin(); folder != missing.rend(); ++folder) {
    if (auto synced = sync_folder(folder_of(*folder)); !synced) return synced;
  }
  return {};
}

IoResult<void> rename_replace(const Path& from, const Path& to) {
  if (::rename(from.c_str(), to.c_str()) != 0) return last_error();
  // On the disk before it answers: the folder it moved into, and the one it
  // left when that is another.
  const Path into = folder_of(to);
  const Path left = folder_of(from);
  if (auto synced = sync_folder(into); !synced) return synced;
  if (left.lexically_normal() != into.lexically_normal()) return sync_folder(left);
  return {};
}

bool renames_replace_open_files() { return true; }

IoResult<void> remove_file(const Path& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
    return tl::unexpected(IoError::from_os(EISDIR));
  }
  if (::unlink(path.c_str()) != 0) return last_error();
  // On the disk before it answers, like a rename.
  return sync_folder(holder_of(path));
}

IoResult<void> remove_dir_all(const Path& path) {
  std::error_code ec;
  const auto removed = std::filesystem::remove_all(path, ec);
  if (ec) return tl::unexpected(IoError::from_os(ec.value()));
  // Gone for good once the folder that held it is flushed: the entries
  // inside went with it.
  if (removed == 0) return {};
  return sync_folder(holder_of(path));
}

IoResult<void> remove_empty_dir(const Path& path) {
  if (::rmdir(path.c_str()) != 0) return last_error();
  return sync_folder(folder_of(path));
}

IoResult<void> leave_working_dir() {
  if (::chdir("/") != 0) return last_error();
  return {};
}

IoResult<void> copy_file_replace(const Path& from, const Path& to) {
  Descriptor in(::open(from.c_str(), O_RDONLY | O_CLOEXEC));
  if (in.get() < 0) return last_error();
  struct stat from_st {};
  if (::fstat(in.get(), &from_st) != 0) return last_error();
  if (!S_ISREG(from_st.st_mode)) return tl::unexpected(IoError::from_os(S_ISDIR(from_st.st_mode) ? EISDIR : EINVAL));

  // Opened without truncating first: a target that is the source itself
  // must not be emptied.
  Descriptor out(::open(to.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, from_st.st_mode & 07777));
  if (out.get() < 0) return last_error();
  struct stat to_st {};
  if (::fstat(out.get(), &to_st) != 0) return last_error();
  if (same_identity(from_st, to_st)) return tl::unexpected(IoError::from_os(EEXIST));
  if (::ftruncate(out.get(), 0) != 0 || ::fchmod(out.get(), from_st.st_mode & 07777) != 0) return last_error();

  std::vector<std::uint8_t> buffer(std::size_t{1} << 20);
  for (;;) {
    const ssize_t got = ::read(in.get(), buffer.data(), buffer.size());
    if (got < 0) {
      if (errno == EINTR) continue;
      return last_error();
    }
    if (got == 0) break;
    if (auto put = write_fully(out.get(), ByteView(buffer.data(), static_cast<std::size_t>(got))); !put) return put;
  }
  // The copy's bytes are on the disk before it answers, so that a rename
  // after it never puts a name on a file that a power cut leaves empty.
  if (::fsync(out.get()) != 0) return last_error();
  return close_reporting(out);
}

IoResult<void> mark_executable(const Path& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return last_error();
  // Each class that may read the file may run it.
  const mode_t mode = st.st_mode & 07777;
  const mode_t runnable = mode | ((mode & 0444) >> 2);
  if (runnable != mode && ::chmod(path.c_str(), runnable) != 0) return last_error();
  return {};
}

IoResult<DirListing> list_dir(const Path& path) {
  DIR* dir = ::opendir(path.c_str());
  if (dir == nullptr) return last_error();
  DirListing listing;
  for (;;) {
    errno = 0;
    const dirent* entry = ::readdir(dir);
    if (entry == nullptr) {
      if (errno != 0) listing.error = IoError::last_os_error();
      break;
    }
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    listing.names.push_back(name);
  }
  ::closedir(dir);
  return listing;
}

IoResult<File> File::open_read(const Path& path) {
  Descriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd) return last_error();
  struct stat st {};
  if (::fstat(fd.get(), &st) == 0 && S_ISDIR(st.st_mode)) return tl::unexpected(IoError::from_os(EISDIR));
  return File(fd.release());
}

IoResult<File> File::create_truncate(const Path& path) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return last_error();
  return File(fd);
}

IoResult<File> File::open_append(const Path& path) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
  if (fd < 0) return last_error();
  return File(fd);
}

void File::HandleTraits::close(Value value) noexcept { ::close(to_fd(value)); }

IoResult<std::uint64_t> File::length() const {
  struct stat st {};
  if (::fstat(to_fd(handle_.get()), &st) != 0) return last_error();
  return static_cast<std::uint64_t>(st.st_size);
}

IoResult<std::size_t> File::read(std::span<std::uint8_t> buffer) {
  for (;;) {
    const ssize_t got = ::read(to_fd(handle_.get()), buffer.data(), buffer.size());
    if (got >= 0) return static_cast<std::size_t>(got);
    if (errno != EINTR) return last_error();
  }
}

IoResult<void> File::write_all(ByteView bytes) { return write_fully(to_fd(handle_.get()), bytes); }

IoResult<void> File::sync() {
  if (::fsync(to_fd(handle_.get())) != 0) return last_error();
  return {};
}

}  // namespace platform
