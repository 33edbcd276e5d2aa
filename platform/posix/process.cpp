#include "platform/process.hpp"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "platform/posix/descriptor.hpp"

extern char** environ;

namespace platform {

namespace {

// A pipe whose two ends close with it.
struct Pipe {
  posix::Descriptor read;
  posix::Descriptor write;
};

// A new pipe; both ends none when the system made none.
Pipe make_pipe() {
  int fds[2] = {-1, -1};
  if (::pipe2(fds, O_CLOEXEC) != 0) return {};
  return {posix::Descriptor(fds[0]), posix::Descriptor(fds[1])};
}

// Windows' own commands have stand-ins of this program's own here, built
// into one folder (posix/standins): those names start them, every other name
// is looked up the usual way.
std::string program_to_start(const std::string& program) {
  if (program == "reg" || program == "powershell" || program == "cmd") {
    return std::string(MORVANE_STANDIN_DIR) + "/" + program;
  }
  return program;
}

std::vector<char*> make_argv(const std::string& program, const std::vector<std::string>& args) {
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const auto& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  return argv;
}

// Reads both pipes to their ends at once, so that neither can fill and stall
// the child.
void drain(int out_fd, int err_fd, Bytes& out, Bytes& err) {
  pollfd fds[2] = {{out_fd, POLLIN, 0}, {err_fd, POLLIN, 0}};
  Bytes* sinks[2] = {&out, &err};
  int open = 2;
  std::uint8_t buffer[8192];
  while (open > 0) {
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      const ssize_t got = ::read(fds[i].fd, buffer, sizeof buffer);
      if (got > 0) {
        sinks[i]->insert(sinks[i]->end(), buffer, buffer + got);
      } else if (got == 0 || errno != EINTR) {
        fds[i].fd = -1;
        --open;
      }
    }
  }
}

// Tells the parent, through the pipe's writing end, the error that stopped
// the start, and ends.
[[noreturn]] void fail_start(int report_fd, int code) {
  const int error = errno;
  (void)!::write(report_fd, &error, sizeof error);
  ::_exit(code);
}

// Forks a grandchild that runs the program on its own, so that nobody has to
// wait for it. Only async-signal-safe calls happen between fork and exec. A
// pipe closed on exec carries back the error of a fork, chdir or exec that
// fails on the way: it ends empty once the program runs.
tl::expected<void, IoError> start_detached(const std::string& program, const std::vector<std::string>& args,
                                           const char* working_dir) {
  auto argv = make_argv(program, args);
  Pipe report = make_pipe();
  if (!report.read) return tl::unexpected(IoError::last_os_error());
  const pid_t child = ::fork();
  if (child < 0) return tl::unexpected(IoError::last_os_error());
  if (child == 0) {
    ::setsid();
    const pid_t grandchild = ::fork();
    if (grandchild < 0) fail_start(report.write.get(), 1);
    if (grandchild != 0) ::_exit(0);
    const int null_fd = ::open("/dev/null", O_RDWR);
    if (null_fd >= 0) {
      ::dup2(null_fd, 0);
      ::dup2(null_fd, 1);
      ::dup2(null_fd, 2);
    }
    if (working_dir != nullptr && ::chdir(working_dir) != 0) fail_start(report.write.get(), 127);
    ::execvp(argv[0], argv.data());
    fail_start(report.write.get(), 127);
  }
  report.write.reset();
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  int error = 0;
  std::size_t got = 0;
  while (got < sizeof error) {
    const ssize_t n = ::read(report.read.get(), reinterpret_cast<char*>(&error) + got, sizeof error - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<std::size_t>(n);
  }
  if (got == sizeof error) return tl::unexpected(IoError::from_os(error));
  return {};
}

}  // namespace

void prepare_process() {}

tl::expected<ProcessOutput, IoError> run_hidden(const std::string& name, const std::vector<std::string>& args) {
  const std::string program = program_to_start(name);
  Pipe out = make_pipe();
  Pipe err = make_pipe();
  if (!out.read || !err.read) return tl::unexpected(IoError::last_os_error());

  posix_spawn_file_actions_t actions;
  ::posix_spawn_file_actions_init(&actions);
  ::posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  ::posix_spawn_file_actions_adddup2(&actions, out.write.get(), 1);
  ::posix_spawn_file_actions_adddup2(&actions, err.write.get(), 2);

  auto argv = make_argv(program, args);
  pid_t pid = 0;
  const int rc = ::posix_spawnp(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  ::posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return tl::unexpected(IoError::from_os(rc));

  out.write.reset();
  err.write.reset();
  ProcessOutput result;
  drain(out.read.get(), err.read.get(), result.stdout_bytes, result.stderr_bytes);

  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return tl::unexpected(IoError::last_os_error());
  }
  result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return result;
}

tl::expected<void, IoError> spawn_hidden(const std::string& program, const std::vector<std::string>& args) {
  return start_detached(program_to_start(program), args, nullptr);
}

tl::expected<void, IoError> spawn_hidden_in(const Path& working_dir, const std::string& program,
                                            const std::vector<std::string>& args) {
  // A name without a slash is looked up along PATH alone here.
  return start_detached(program_to_start(program), args, working_dir.c_str());
}

tl::expected<void, IoError> start_program(const Path& program, const Path& working_dir) {
  return start_detached(program.native(), {}, working_dir.c_str());
}

tl::expected<Path, IoError> current_exe() {
  std::error_code ec;
  Path path = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return tl::unexpected(IoError::from_os(ec.value()));
  return path;
}

unsigned long process_id() { return static_cast<unsigned long>(::getpid()); }

Path temp_dir() {
  std::error_code ec;
  Path path = std::filesystem::temp_directory_path(ec);
  return ec ? Path("/tmp") : path;
}

}  // namespace platform
