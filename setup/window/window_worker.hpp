// The window mode's worker: runs the install transaction once per job.
#pragma once

#include <functional>
#include <memory>

#include "platform/path.hpp"
#include "setup/common/install_result.hpp"
#include "setup/window/job_channel.hpp"
#include "setup/window/shared_status.hpp"

namespace setup {

// One run of the install: given the cancel flag and the sink for its
// statuses, answers its result.
using JobRunner = std::function<InstallResult(const CancelFlag& cancel, const StatusSink& sink)>;

// The install transaction into `install_dir` from the channel "stable-intl".
JobRunner make_job_runner(platform::Path install_dir);

// Until the channel closes: takes the next job, empties the shared record,
// runs the job with the cancel flag and store_status, and stores its result.
// A fault that escapes the job becomes worker_stopped_result (a setup.log
// line and the plain failure sentence); the worker goes on serving jobs.
void run_install_jobs(JobReceiver& jobs, const JobRunner& runner, const std::shared_ptr<SharedStatus>& shared,
                      const std::shared_ptr<CancelFlag>& cancel, const platform::Path& install_dir);

// The worker thread's entry: run_install_jobs with what it was given.
void run_window_worker(JobReceiver jobs, JobRunner runner, std::shared_ptr<SharedStatus> shared,
                       std::shared_ptr<CancelFlag> cancel, platform::Path install_dir);

}  // namespace setup
