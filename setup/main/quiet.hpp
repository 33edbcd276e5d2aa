// Quiet mode: the install on one worker thread, with no window and no box.
#pragma once

#include <atomic>
#include <functional>
#include <string_view>

#include "platform/path.hpp"
#include "setup/common/install_result.hpp"

namespace setup {

// What the quiet worker runs: the install folder, the channel, a cancel flag
// and the status sink, lent for the length of the run.
using QuietJob = std::function<InstallResult(const platform::Path& install_dir, std::string_view channel,
                                             const std::atomic<bool>& cancel, const StatusSink& sink)>;

// The body of the quiet worker: the install transaction with exactly these
// four values.
InstallResult run_quiet_job(const platform::Path& install_dir, std::string_view channel,
                            const std::atomic<bool>& cancel, const StatusSink& sink);

// Runs `job` on one new thread with the channel "stable-intl", a cancel flag
// that nothing sets and a sink that shows nothing, and waits for it. A fault
// that escapes the job, or a thread that cannot start, ends as
// worker_stopped_result: a setup.log line and the plain failure sentence.
InstallResult run_quiet_worker(const platform::Path& install_dir, const QuietJob& job);

// The whole quiet mode around `job`: find the install folder, claim the setup
// mutex, run the worker. Answers 0 or 1 and never shows a box.
int run_quiet_install_with(const QuietJob& job);

// The quiet mode with the real install transaction.
int run_quiet_install();

}  // namespace setup
