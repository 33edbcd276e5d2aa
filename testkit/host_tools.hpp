// The build machine's own programs (sh, xz, openssl, nginx, tinyproxy,
// microsocks) as the tests run them, and paths as those programs see them.
//
// In the Linux build they are child processes like any other. The Windows
// build's tests run under Wine, which starts a Linux program when asked but
// gives no handle to wait on or to read its output from: there each run goes
// through /bin/sh, which writes the program's standard output, standard
// error and exit code into files that the test reads once the program has
// ended. The program's standard input is empty either way.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include <tl/expected.hpp>

#include "platform/io_error.hpp"
#include "platform/path.hpp"
#include "platform/process.hpp"

namespace testkit {

// Runs a program of the build machine, found on its PATH, and waits for it.
tl::expected<platform::ProcessOutput, platform::IoError> run_tool(const std::string& program,
                                                                  const std::vector<std::string>& args);

// A path of the test's as the build machine's programs see it.
std::string tool_path(const platform::Path& path);

// A path of the build machine (a folder of the source tree, a program) as
// the test sees it.
platform::Path build_path(std::string_view path);

// True when the build machine's programs run as root (nginx then needs
// "user root;" to read a test's folders).
bool tools_run_as_root();

}  // namespace testkit
