// Work stopped as a crash or a power cut stops it: run in a forked child that
// is killed with SIGKILL just before one of its file operations, counted as
// file_fault_interpose.hpp counts them. A test runs it once for each
// operation in turn and checks what the next run makes of what was left.
//
// POSIX only (fork(2)), and only in a binary that links
// morvane_testkit_file_faults, whose operations are the ones counted.
#pragma once

#include <functional>
#include <string>

#include <tl/expected.hpp>

namespace testkit {

// Runs `work` in a forked child whose file operation number `operation`
// (from 0) stops it; the child is then killed with SIGKILL. True when it was
// killed there; false when the work came to its end first and returned
// true. An error, as a sentence, when the child could not be started, was
// ended some other way, or its work returned false.
tl::expected<bool, std::string> killed_before_operation(int operation, const std::function<bool()>& work);

}  // namespace testkit
