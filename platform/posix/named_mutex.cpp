#include "platform/named_mutex.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "morvane/config.hpp"
#include "platform/env.hpp"
#include "platform/fs.hpp"
#include "platform/path.hpp"

namespace platform {

namespace {

// The per-user folder that holds one lock file per name: in the user's
// runtime folder, or in /tmp when there is none. A runtime folder that is
// named but does not exist counts as none, as the folder the lock files go
// in could never be made there.
Path runtime_dir() {
  if (auto xdg = env_var("XDG_RUNTIME_DIR"); xdg && !xdg->empty()) {
    const Path runtime(*xdg);
    if (auto meta = metadata(runtime); meta && meta->is_dir) {
      return runtime / fmt::format("{}-mutexes", config::product_lower);
    }
  }
  return Path("/tmp") / fmt::format("{}-mutexes-{}", config::product_lower, ::getuid());
}

// "Local\MORVANE.setup" becomes "Local-MORVANE.setup.lock".
std::string file_name_for(std::string_view name) {
  std::string out;
  for (char c : name) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                       c == '.' || c == '-' || c == '_';
    out.push_back(plain ? c : (c == '\\' ? '-' : '_'));
  }
  return out + ".lock";
}

Path lock_path(std::string_view name) { return runtime_dir() / file_name_for(name); }

// Descriptors of the names this process owns; they stay open until it ends.
std::mutex held_mutex;
std::vector<int> held_descriptors;

}  // namespace

bool claim_named_mutex(std::string_view name) {
  const Path dir = runtime_dir();
  ::mkdir(dir.c_str(), 0700);
  const int fd = ::open(lock_path(name).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  // flock locks belong to one open file description, so a second claim from
  // this same process conflicts with the first, as a second CreateMutexW of an
  // existing name reports ERROR_ALREADY_EXISTS.
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    return false;
  }
  std::lock_guard lock(held_mutex);
  held_descriptors.push_back(fd);
  return true;
}

bool named_mutex_exists(std::string_view name) {
  const int fd = ::open(lock_path(name).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool held = ::flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
  ::close(fd);  // also lets go of the shared lock, if it was granted
  return held;
}

}  // namespace platform
