#include "testkit/crash_child.hpp"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fmt/format.h>

#include "testkit/file_fault_interpose.hpp"

namespace testkit {

tl::expected<bool, std::string> killed_before_operation(int operation, const std::function<bool()>& work) {
  int fds[2];
  if (::pipe(fds) != 0) return tl::unexpected(std::string("pipe failed"));
  const pid_t pid = ::fork();
  if (pid < 0) {
    ::close(fds[0]);
    ::close(fds[1]);
    return tl::unexpected(std::string("fork failed"));
  }
  if (pid == 0) {
    ::close(fds[0]);
    file_faults::reset();
    file_faults::stop_before(operation, fds[1]);
    ::_exit(work() ? 0 : 1);
  }
  ::close(fds[1]);
  // The child writes one byte just before the operation, then waits.
  char byte = 0;
  const bool stopped = ::read(fds[0], &byte, 1) == 1;
  ::close(fds[0]);
  if (stopped) ::kill(pid, SIGKILL);
  int status = 0;
  ::waitpid(pid, &status, 0);
  if (stopped) {
    if (WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) return true;
    return tl::unexpected(fmt::format("the child stopped before operation {} but was not ended by SIGKILL (status {})",
                                      operation, status));
  }
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return false;
  return tl::unexpected(fmt::format("the uninterrupted child failed (status {})", status));
}

}  // namespace testkit
