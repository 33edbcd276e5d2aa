#include "setup/tests/mutex_holder.hpp"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/named_mutex.hpp"

namespace setup_test {

MutexHolder::MutexHolder(const platform::Path& runtime_dir, const std::string& name) {
  int ready[2];
  int release[2];
  if (pipe2(ready, O_CLOEXEC) != 0 || pipe2(release, O_CLOEXEC) != 0) return;
  const pid_t pid = fork();
  holder_ = pid;
  if (pid == 0) {
    close(ready[0]);
    close(release[1]);
    setenv("XDG_RUNTIME_DIR", runtime_dir.c_str(), 1);
    const char answer = platform::claim_named_mutex(name) ? 'y' : 'n';
    (void)!write(ready[1], &answer, 1);
    char ignored;
    (void)!read(release[0], &ignored, 1);  // returns when the holder goes away
    _exit(0);
  }
  close(ready[1]);
  close(release[0]);
  release_fd_ = release[1];
  char answer = 'n';
  if (pid > 0 && read(ready[0], &answer, 1) == 1) claimed_ = answer == 'y';
  close(ready[0]);
}

bool MutexHolder::holding() const {
  // The holding process lets go only by ending.
  return claimed_ && release_fd_ >= 0 && waitpid(static_cast<pid_t>(holder_), nullptr, WNOHANG) == 0;
}

void MutexHolder::release() {
  if (release_fd_ >= 0) close(release_fd_);
  release_fd_ = -1;
  if (holder_ > 0) waitpid(static_cast<pid_t>(holder_), nullptr, 0);
  holder_ = -1;
}

}  // namespace setup_test
