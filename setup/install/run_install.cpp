// The road of one install, from the product-running check to the report.
// Each step either goes on or ends the run with the user's sentence; from
// making the install folder until the release is in place, every failure
// also takes the tail (remove_failed_install).
#include "setup/install/run_install.hpp"

#include <exception>
#include <optional>
#include <utility>

#include <fmt/format.h>

#include "fetch/http/server_url.hpp"
#include "morvane/config.hpp"
#include "platform/fs.hpp"
#include "platform/named_mutex.hpp"
#include "setup/common/product.hpp"
#include "setup/common/setup_log.hpp"
#include "setup/common/worker_fault.hpp"
#include "setup/install/install_error_text.hpp"
#include "setup/install/install_fresh.hpp"
#include "setup/install/install_gates.hpp"
#include "setup/install/install_tail.hpp"
#include "setup/install/reverify_staged.hpp"
#include "setup/install/stage_tracker.hpp"
#include "update/apply/apply_staged.hpp"
#include "update/check/release_check.hpp"
#include "update/own_file_names.hpp"
#include "update/stage/stage_release.hpp"
#include "update/store/updates_dir.hpp"
#include "update/swap/repair_swap.hpp"

namespace setup {

namespace {

std::string product_open_text() {
  return fmt::format("{} is open. Close it and run the installer again.", config::product_name);
}

std::string folder_not_made_text(const platform::Path& folder, const platform::IoError& error) {
  return fmt::format("The folder {} could not be made ({}). Run the installer again.", platform::display(folder),
                     error.text());
}

std::string release_not_sent_text() {
  return fmt::format("{}'s download server did not send the release. Run the installer again.", config::product_name);
}

InstallResult fail_without_cleanup(std::string text) { return tl::unexpected(std::move(text)); }

// One run: the values that the first steps settle and every later step
// reads.
class InstallRun {
 public:
  InstallRun(const InstallContext& context, const platform::Path& install_dir, std::string_view channel,
             const std::atomic<bool>& cancel, const StatusSink& sink)
      : context_(context),
        install_dir_(install_dir),
        updates_dir_(update::updates_dir_in(install_dir)),
        exe_path_(install_dir / update::exe_file_name),
        channel_(channel),
        cancel_(cancel),
        sink_(sink) {}

  InstallResult run() {
    // Never while the product runs: nothing is touched, not even the log
    // copy of an earlier run.
    if (platform::named_mutex_exists(product_instance_mutex_name())) return fail_without_cleanup(product_open_text());

    // The release host.
    auto server = fetch::parse_server_url(context_.release_server_url_text);
    if (!server) return fail_without_cleanup(fetch::format_fetch_error(server.error()));
    server_ = std::move(*server);

    // What is there before anything changes.
    exe_existed_ = platform::exists(exe_path_);
    folder_existed_ = platform::exists(install_dir_);
    (void)platform::remove_file(temp_log_path(install_dir_));
    if (platform::is_regular_file(exe_path_)) installed_version_ = context_.steps.read_installed_version(install_dir_);

    // From here on a failure takes the tail.
    if (auto made = platform::create_dirs(install_dir_); !made) {
      return fail_and_remove_failed_install(folder_not_made_text(install_dir_, made.error()));
    }

    auto fetched = put_release_in_place_or_fault();
    if (!fetched) return fail_without_cleanup(std::move(fetched.error()));

    // The product's executable may be started where it now stands, also when
    // it was kept from an earlier install: a file written from the release
    // carries no permission to run where files keep one. A failure here
    // only means that opening it fails, which nothing reports either.
    (void)platform::mark_executable(exe_path_);

    // The release is installed and stays so, whatever follows: these
    // failures write no log line and undo nothing.
    if (auto copied = context_.steps.copy_uninstaller(install_dir_); !copied) {
      return fail_without_cleanup(copied.error());
    }
    if (auto made = context_.steps.make_shortcuts(exe_path_); !made) return fail_without_cleanup(made.error());
    if (auto written = context_.steps.write_uninstall_entry(install_dir_, exe_path_, version_); !written) {
      return fail_without_cleanup(written.error());
    }
    context_.steps.send_install_report(exe_existed_ ? "reinstalled" : "installed", version_);

    InstallSuccess success;
    success.version = version_;
    success.previous_version = from_version_;
    success.already_current = installed_version_ && *installed_version_ == version_ && !*fetched;
    return success;
  }

 private:
  // The tail, then the failure.
  tl::unexpected<std::string> fail_and_remove_failed_install(std::string text) {
    remove_failed_install(install_dir_, folder_existed_);
    return tl::unexpected(std::move(text));
  }

  // put_release_in_place, where an internal fault ends the run as a failure
  // there does: what was staged goes (unless a swap journal still needs it),
  // the fault's line goes to setup.log, then the tail. The fault is caught
  // here, not left to the worker, because the tail may remove the folder
  // that the worker's log line would be written into.
  tl::expected<bool, std::string> put_release_in_place_or_fault() {
    try {
      return put_release_in_place();
    } catch (...) {
      const std::string fault = worker_panic_text(std::current_exception());
      if (staging_began_) discard_pending_unless_journal(updates_dir_, version_);
      InstallResult stopped = worker_stopped_result(install_dir_, fault);
      return fail_and_remove_failed_install(std::move(stopped.error()));
    }
  }

  // From the swap repair until the release is in place; answers whether any
  // file had to be fetched. Every failure has taken the tail.
  tl::expected<bool, std::string> put_release_in_place() {
    // A swap that an earlier run or the product left half done.
    if (auto repaired = update::repair_interrupted_swap(updates_dir_, install_dir_); !repaired) {
      return fail_and_remove_failed_install(install_error_text(install_dir_, repaired.error()));
    }

    // The channel's release.
    send(SetupStatus{});
    auto checked = update::check_release(server_, updates_dir_, config::product_lower, channel_, cancel_);
    if (!checked) return fail_and_remove_failed_install(install_error_text(install_dir_, checked.error()));
    if (checked->answer == update::CheckAnswer::Unchanged || !checked->release) {
      append_setup_log(install_dir_, "the check answered Unchanged to a question asked with no validator");
      return fail_and_remove_failed_install(release_not_sent_text());
    }
    const update::VerifiedRelease& offered = *checked->release;
    version_ = offered.manifest.version;
    if (installed_version_ && *installed_version_ != version_) from_version_ = installed_version_;

    // The installer's own gates.
    if (auto refused = check_minimum_installer(install_dir_, version_)) {
      return fail_and_remove_failed_install(std::move(*refused));
    }
    if (auto refused = check_required_files(install_dir_, offered.manifest)) {
      return fail_and_remove_failed_install(std::move(*refused));
    }

    // Staging.
    staging_began_ = true;
    auto fetched = stage(offered);
    if (!fetched) {
      discard_pending(updates_dir_, version_);
      return fail_and_remove_failed_install(install_error_text(install_dir_, fetched.error()));
    }

    // The staged release, verified once more.
    send(phase_status(SetupPhase::Verifying));
    auto release = reverify_staged(install_dir_, updates_dir_, version_, channel_);
    if (!release) {
      discard_pending(updates_dir_, version_);
      return fail_and_remove_failed_install(install_error_text(install_dir_, release.error()));
    }

    // Into place. No status is sent after this one.
    send(phase_status(SetupPhase::Installing));
    if (platform::is_regular_file(exe_path_)) {
      if (auto applied = update::apply_staged(updates_dir_, install_dir_, *release, installed_version_); !applied) {
        std::string text = install_error_text(install_dir_, applied.error());
        // A journal left by the failed swap replays into and out of the
        // staging folder, so the folder stays for the next run's repair.
        discard_pending_unless_journal(updates_dir_, version_);
        return fail_and_remove_failed_install(std::move(text));
      }
    } else if (auto installed = install_fresh(install_dir_, updates_dir_, *release); !installed) {
      discard_pending(updates_dir_, version_);
      return fail_and_remove_failed_install(std::move(installed.error()));
    }
    return *fetched;
  }

  void send(SetupStatus status) { sink_(std::move(status)); }

  // The status of a phase after downloading: the versions, no counts.
  SetupStatus phase_status(SetupPhase phase) const {
    SetupStatus status;
    status.version = version_;
    status.from_version = from_version_;
    status.phase = phase;
    return status;
  }

  // Stages the release, sending the Downloading statuses; answers whether
  // any file had to be fetched.
  tl::expected<bool, update::UpdateError> stage(const update::VerifiedRelease& release) {
    SetupStatus status = phase_status(SetupPhase::Downloading);
    const std::uint64_t total = update::sum_file_bytes(release.manifest.files);
    status.total_bytes = total == 0 ? 1 : total;
    status.files_total = release.manifest.files.size();
    send(status);

    StageTracker tracker{status, 0, sink_, false};
    update::StageSink stage_sink{[&tracker](update::StageEvent event) { on_stage_event(tracker, event); }, cancel_};
    auto staged = update::stage_release(updates_dir_, server_, release, stage_sink, install_dir_);
    if (!staged) return tl::unexpected(std::move(staged.error()));
    return tracker.fetched;
  }

  const InstallContext& context_;
  const platform::Path& install_dir_;
  const platform::Path updates_dir_;
  const platform::Path exe_path_;
  const std::string_view channel_;
  const std::atomic<bool>& cancel_;
  const StatusSink& sink_;

  fetch::ServerUrl server_;
  bool exe_existed_ = false;
  bool folder_existed_ = false;
  std::optional<std::string> installed_version_;
  std::string version_;
  std::optional<std::string> from_version_;
  // Whether staging has begun: from then on the staging folder is there to
  // be discarded.
  bool staging_began_ = false;
};

}  // namespace

InstallResult run_install_with(const InstallContext& context, const platform::Path& install_dir,
                               std::string_view channel, const std::atomic<bool>& cancel, const StatusSink& sink) {
  return InstallRun(context, install_dir, channel, cancel, sink).run();
}

InstallResult run_install(const platform::Path& install_dir, std::string_view channel,
                          const std::atomic<bool>& cancel, const StatusSink& sink) {
  const InstallContext context{std::string(config::release_host_url)};
  return run_install_with(context, install_dir, channel, cancel, sink);
}

}  // namespace setup
