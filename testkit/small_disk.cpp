#include "testkit/small_disk.hpp"

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

#include "platform/fs.hpp"
#include "platform/io_error.hpp"

namespace testkit {

namespace {

std::string last_error_text() { return platform::os_error_text(errno); }

}  // namespace

SmallDisk::SmallDisk(std::uint64_t bytes, const platform::Path& at) : path_(at.empty() ? folder_ / "disk" : at) {
  if (auto made = platform::create_dirs(path_); !made) {
    failure_ = "the folder " + path_.string() + " cannot be made: " + made.error().text();
    return;
  }
  // A namespace of this thread's own, whose mounts reach no other.
  if (::unshare(CLONE_NEWNS) != 0) {
    failure_ = "no mount namespace of the test's own: " + last_error_text();
    return;
  }
  if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
    failure_ = "the mounts cannot be made private: " + last_error_text();
    return;
  }
  const std::string options = "size=" + std::to_string(bytes) + ",mode=0755";
  if (::mount("morvane-small-disk", path_.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) != 0) {
    failure_ = "no tmpfs on " + path_.string() + ": " + last_error_text();
    return;
  }
  mounted_ = true;
}

SmallDisk::~SmallDisk() {
  if (mounted_) ::umount2(path_.c_str(), MNT_DETACH);
}

std::uint64_t SmallDisk::free_bytes() const {
  struct statvfs st {};
  if (::statvfs(path_.c_str(), &st) != 0) return 0;
  return static_cast<std::uint64_t>(st.f_bavail) * st.f_frsize;
}

std::string SmallDisk::fill(std::uint64_t leave) {
  const std::uint64_t free = free_bytes();
  if (free <= leave) return {};
  std::uint64_t left = free - leave;
  auto file = platform::File::open_append(path_ / "filler");
  if (!file) return "the filler cannot be made: " + file.error().text();
  const std::vector<std::uint8_t> zeros(std::size_t{1} << 20, 0);
  while (left > 0) {
    const std::size_t now = static_cast<std::size_t>(std::min<std::uint64_t>(left, zeros.size()));
    if (auto put = file->write_all(platform::ByteView(zeros.data(), now)); !put) {
      return "the filler cannot be written: " + put.error().text();
    }
    left -= now;
  }
  return {};
}

}  // namespace testkit
