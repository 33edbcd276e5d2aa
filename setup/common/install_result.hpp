// What one install transaction reports while it runs and what it returns.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include <tl/expected.hpp>

namespace setup {

// The step that an install has reached, in the order the steps come.
enum class SetupPhase : std::uint8_t {
  Starting = 0,
  Downloading = 1,
  Verifying = 2,
  Installing = 3,
};

// The progress of one run, copied whole for each report.
struct SetupStatus {
  // The release being installed; empty while starting.
  std::optional<std::string> version;
  // The installed version being replaced, when one was read and differs.
  std::optional<std::string> from_version;
  // Bytes and files settled so far and in all (downloading only, else 0).
  std::uint64_t done_bytes = 0;
  std::uint64_t total_bytes = 0;
  std::uint64_t files_done = 0;
  std::uint64_t files_total = 0;
  SetupPhase phase = SetupPhase::Starting;

  bool operator==(const SetupStatus&) const = default;
};

// Takes each status of a run, on the run's own thread.
using StatusSink = std::function<void(SetupStatus)>;

// A run that ended well.
struct InstallSuccess {
  // The version now installed.
  std::string version;
  // The version installed before the run, when it differs from `version`.
  std::optional<std::string> previous_version;
  // The release was installed already and nothing had to be fetched.
  bool already_current = false;

  bool operator==(const InstallSuccess&) const = default;
};

// The outcome of one install: the success, or the sentence that tells the
// user what went wrong.
using InstallResult = tl::expected<InstallSuccess, std::string>;

}  // namespace setup
