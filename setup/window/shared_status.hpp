// What the window's worker and its UI thread share: the latest status and
// outcome of the install, and the flag that asks the install to stop.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>

#include "setup/common/install_result.hpp"

namespace setup {

// The flag that a confirmed close sets and a retry clears; the install
// transaction reads it. Relaxed loads and stores are enough: nothing else is
// published through it.
using CancelFlag = std::atomic<bool>;

// The one record shared by the worker and the UI thread, held by both. Its
// mutex is held only to copy or replace a field.
//
// An internal fault never leaves the mutex behind in a broken state here: a
// holder only copies or replaces a field under it, and the lock is let go on
// every path. So every user of the record simply takes the lock.
class SharedStatus {
 public:
  struct Snapshot {
    std::optional<SetupStatus> progress;
    std::optional<InstallResult> outcome;
  };

  // Replaces the progress (the window mode's StatusSink).
  void store_progress(SetupStatus status);
  // Sets the outcome of the current job, dropping an older one.
  void store_outcome(InstallResult outcome);
  // Empties both fields.
  void reset();

  Snapshot snapshot() const;
  std::optional<SetupStatus> progress() const;
  bool has_outcome() const;
  // The outcome, leaving the field empty.
  std::optional<InstallResult> take_outcome();

 private:
  mutable std::mutex mutex_;
  std::optional<SetupStatus> progress_;
  std::optional<InstallResult> outcome_;
};

// Stores one status in the record: what the install transaction reports to.
void store_status(SharedStatus& shared, SetupStatus status);

// store_status bound to one record, as a StatusSink.
StatusSink status_sink(std::shared_ptr<SharedStatus> shared);

}  // namespace setup
