// Running the system's commands (`reg`, `powershell`, `cmd`) hidden, and
// reading what they said.
#pragma once

#include <string>
#include <vector>

#include <tl/expected.hpp>

#include "platform/io_error.hpp"
#include "platform/process.hpp"

namespace setup {

// The command's standard error as text (invalid UTF-8 replaced by U+FFFD),
// with white space removed from both ends.
std::string trimmed_stderr(const platform::ProcessOutput& output);

// Runs the command hidden and waits for it. Nothing when it ended with exit
// code 0; otherwise what went wrong: the error's display text when it could
// not be run, or its trimmed standard error when it ended with another code.
tl::expected<void, std::string> run_to_success(const platform::HiddenRunner& run, const std::string& program,
                                               const std::vector<std::string>& args);

}  // namespace setup
