#include "setup/window/window_worker.hpp"

#include <exception>

#include "setup/common/product.hpp"
#include "setup/common/worker_fault.hpp"
#include "setup/install/run_install.hpp"

namespace setup {

JobRunner make_job_runner(platform::Path install_dir) {
  return [install_dir = std::move(install_dir)](const CancelFlag& cancel, const StatusSink& sink) {
    return run_install(install_dir, release_channel, cancel, sink);
  };
}

void run_install_jobs(JobReceiver& jobs, const JobRunner& runner, const std::shared_ptr<SharedStatus>& shared,
                      const std::shared_ptr<CancelFlag>& cancel, const platform::Path& install_dir) {
  const StatusSink sink = status_sink(shared);
  while (jobs.receive()) {
    shared->reset();
    std::optional<InstallResult> result;
    try {
      result = runner(*cancel, sink);
    } catch (...) {
      result = worker_stopped_result(install_dir, worker_panic_text(std::current_exception()));
    }
    shared->store_outcome(std::move(*result));
  }
}

void run_window_worker(JobReceiver jobs, JobRunner runner, std::shared_ptr<SharedStatus> shared,
                       std::shared_ptr<CancelFlag> cancel, platform::Path install_dir) {
  run_install_jobs(jobs, runner, shared, cancel, install_dir);
}

}  // namespace setup
