#include "platform/fs.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <system_error>

namespace platform {

namespace {

tl::unexpected<IoError> last_error() { return tl::unexpected(IoError::last_os_error()); }

int to_fd(std::intptr_t handle) { return static_cast<int>(handle); }

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

bool exists(const Path& path) { return metadata(path).has_value(); }

bool is_regular_file(const Path& path) {
  auto meta = metadata(path);
  return meta && meta->is_file;
}

IoResult<void> create_dirs(const Path& path) {
  if (path.empty()) return {};
  std::error_code ec;
  std::filesystem::create_directories(path, ec);
  if (ec) return tl::unexpected(IoError::from_os(ec.value()));
  return {};
}

IoResult<Bytes> read_file(const Path& path) {
  auto file = File::open_read(path);
  if (!file) return tl::unexpected(file.error());
  // Read straight into the buffer, sized by the length the file has now; a
  // file that grows meanwhile is read to its end all the same.
  Bytes content;
  if (auto length = file->length(); length && *length < (std::uint64_t{1} << 40)) {
    content.reserve(static_cast<std::size_t>(*length) + 1);
  }
  std::size_t used = 0;
  for (;;) {
    if (content.size() - used < 65536) content.resize(std::max(content.size() * 2, used + 65536));
    auto got = file->read(std::span(content.data() + used, content.size() - used));
    if (!got) return tl::unexpected(got.error());
    if (*got == 0) break;
    used += *got;
  }
  content.resize(used);
  return content;
}

IoResult<void> write_file(const Path& path, ByteView bytes) {
  auto file = File::create_truncate(path);
  if (!file) return tl::unexpected(file.error());
  return file->write_all(bytes);
}

IoResult<void> rename_replace(const Path& from, const Path& to) {
  if (::rename(from.c_str(), to.c_str()) != 0) return last_error();
  return {};
}

IoResult<void> remove_file(const Path& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
    return tl::unexpected(IoError::from_os(EISDIR));
  }
  if (::unlink(path.c_str()) != 0) return last_error();
  return {};
}

IoResult<void> remove_dir_all(const Path& path) {
  std::error_code ec;
  std::filesystem::remove_all(path, ec);
  if (ec) return tl::unexpected(IoError::from_os(ec.value()));
  return {};
}

IoResult<void> copy_file_replace(const Path& from, const Path& to) {
  std::error_code ec;
  std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing, ec);
  if (ec) return tl::unexpected(IoError::from_os(ec.value()));
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
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return last_error();
  struct stat st {};
  if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    ::close(fd);
    return tl::unexpected(IoError::from_os(EISDIR));
  }
  return File(fd);
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

File::File(File&& other) noexcept : handle_(other.handle_) { other.handle_ = -1; }

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    close();
    handle_ = other.handle_;
    other.handle_ = -1;
  }
  return *this;
}

File::~File() { close(); }

void File::close() {
  if (handle_ >= 0) {
    ::close(to_fd(handle_));
    handle_ = -1;
  }
}

IoResult<std::uint64_t> File::length() const {
  struct stat st {};
  if (::fstat(to_fd(handle_), &st) != 0) return last_error();
  return static_cast<std::uint64_t>(st.st_size);
}

IoResult<std::size_t> File::read(std::span<std::uint8_t> buffer) {
  for (;;) {
    const ssize_t got = ::read(to_fd(handle_), buffer.data(), buffer.size());
    if (got >= 0) return static_cast<std::size_t>(got);
    if (errno != EINTR) return last_error();
  }
}

IoResult<void> File::write_all(ByteView bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t put = ::write(to_fd(handle_), bytes.data() + done, bytes.size() - done);
    if (put < 0) {
      if (errno == EINTR) continue;
      return last_error();
    }
    if (put == 0) return tl::unexpected(IoError::custom(ErrorKind::WriteZero, "failed to write whole buffer"));
    done += static_cast<std::size_t>(put);
  }
  return {};
}

IoResult<void> File::sync() {
  if (::fsync(to_fd(handle_)) != 0) return last_error();
  return {};
}

}  // namespace platform
