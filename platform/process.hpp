// Processes: hidden child processes, the running program, the user's folders.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include <tl/expected.hpp>

#include "platform/bytes.hpp"
#include "platform/io_error.hpp"
#include "platform/path.hpp"

namespace platform {

struct ProcessOutput {
  int exit_code = 0;
  Bytes stdout_bytes;
  Bytes stderr_bytes;
};

// Sets the process up before it does anything else. On Windows DLLs are
// then loaded from the system folder alone (SetDefaultDllDirectories), so
// that nothing put beside the program is loaded, and the process is aware of
// each monitor's DPI. Nothing needs doing here.
void prepare_process();

// Runs a program with no window (CREATE_NO_WINDOW), empty standard input and
// its standard output and standard error captured, and waits for it to end.
// `program` is a name looked up the usual way or a path; each argument is one
// argument, quoted for the platform where needed.
tl::expected<ProcessOutput, IoError> run_hidden(const std::string& program,
                                                const std::vector<std::string>& args);

// run_hidden, or what a test puts in its place.
using HiddenRunner = std::function<decltype(run_hidden)>;

// Starts a program with no window and does not wait for it. Fails when the
// program cannot be started; what it does once it runs is its own.
tl::expected<void, IoError> spawn_hidden(const std::string& program,
                                         const std::vector<std::string>& args);

// spawn_hidden with `working_dir` as the program's working folder. What the
// program runs by a bare name is never taken from that folder: on Windows
// the child's environment carries NoDefaultCurrentDirectoryInExePath, so that
// `cmd` looks for `ping` along PATH alone. `cmd` is never started in a
// network folder (\\server\share, //server/share, \\?\UNC\...), which it
// would trade for the Windows folder. On Windows a folder too long for a
// current folder (MAX_PATH, whatever the program's awareness of long paths)
// is given in its short form, and the start fails when even that is too
// long. Fails as well when the program cannot be started in that folder at
// all (a folder that is not there, a program that cannot run).
tl::expected<void, IoError> spawn_hidden_in(const Path& working_dir, const std::string& program,
                                            const std::vector<std::string>& args);

// Starts a program in the given working folder, with no arguments, and does
// not wait for it.
tl::expected<void, IoError> start_program(const Path& program, const Path& working_dir);

// The running program's own path.
tl::expected<Path, IoError> current_exe();

// This process's id.
unsigned long process_id();

// The user's temporary folder, however long its name.
Path temp_dir();

}  // namespace platform
