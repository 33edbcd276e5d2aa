#include "setup/main/quiet.hpp"

#include <exception>
#include <memory>
#include <optional>
#include <thread>

#include "setup/common/install_dir.hpp"
#include "setup/common/product.hpp"
#include "setup/common/sentences.hpp"
#include "setup/common/worker_fault.hpp"
#include "setup/install/run_install.hpp"
#include "setup/main/mode_end.hpp"
#include "setup/main/setup_mutex.hpp"

namespace setup {

namespace {

// What the worker leaves behind: its result, or the fault that ended it.
struct WorkerEnd {
  std::optional<InstallResult> result;
  std::exception_ptr fault;
};

ModeOutcome quiet_install_outcome(const QuietJob& job) {
  auto install_dir = find_install_dir();
  if (!install_dir) return tl::unexpected(install_dir.error());
  if (!claim_setup_mutex()) return tl::unexpected(already_running_text());
  InstallResult result = run_quiet_worker(*install_dir, job);
  if (!result) return tl::unexpected(result.error());
  // Quiet mode shows no sentence; this one only marks the success.
  return installed_text(result->version);
}

}  // namespace

InstallResult run_quiet_job(const platform::Path& install_dir, std::string_view channel,
                            const std::atomic<bool>& cancel, const StatusSink& sink) {
  return run_install(install_dir, channel, cancel, sink);
}

InstallResult run_quiet_worker(const platform::Path& install_dir, const QuietJob& job) {
  // The worker owns copies of what it runs with and leaves its end in shared
  // state, so that nothing it touches can go away under it.
  auto end = std::make_shared<WorkerEnd>();
  std::thread worker;
  try {
    worker = std::thread([end, install_dir, job] {
      const std::atomic<bool> cancel{false};
      const StatusSink discard = [](SetupStatus) {};
      try {
        end->result = job(install_dir, release_channel, cancel, discard);
      } catch (...) {
        end->fault = std::current_exception();
      }
    });
  } catch (...) {
    return worker_stopped_result(install_dir, worker_panic_text(std::current_exception()));
  }

  try {
    worker.join();
  } catch (...) {
    // The wait itself failed, so the worker may still be running and writing
    // setup.log: let it go, and report the failure without a log line of our
    // own. The process ends soon after.
    worker.detach();
    return tl::unexpected(could_not_install_text());
  }

  if (end->result) return std::move(*end->result);
  return worker_stopped_result(install_dir, worker_panic_text(end->fault));
}

int run_quiet_install_with(const QuietJob& job) { return finish_mode(quiet_install_outcome(job), true); }

int run_quiet_install() { return run_quiet_install_with(run_quiet_job); }

}  // namespace setup
