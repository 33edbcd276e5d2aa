#include "setup/window/shared_status.hpp"

namespace setup {

void SharedStatus::store_progress(SetupStatus status) {
  std::lock_guard lock(mutex_);
  progress_ = std::move(status);
}

void SharedStatus::store_outcome(InstallResult outcome) {
  std::lock_guard lock(mutex_);
  outcome_ = std::move(outcome);
}

void SharedStatus::reset() {
  std::lock_guard lock(mutex_);
  progress_.reset();
  outcome_.reset();
}

SharedStatus::Snapshot SharedStatus::snapshot() const {
  std::lock_guard lock(mutex_);
  return {progress_, outcome_};
}

std::optional<SetupStatus> SharedStatus::progress() const {
  std::lock_guard lock(mutex_);
  return progress_;
}

bool SharedStatus::has_outcome() const {
  std::lock_guard lock(mutex_);
  return outcome_.has_value();
}

std::optional<InstallResult> SharedStatus::take_outcome() {
  std::lock_guard lock(mutex_);
  return std::exchange(outcome_, std::nullopt);
}

void store_status(SharedStatus& shared, SetupStatus status) { shared.store_progress(std::move(status)); }

StatusSink status_sink(std::shared_ptr<SharedStatus> shared) {
  return [shared = std::move(shared)](SetupStatus status) { store_status(*shared, std::move(status)); };
}

}  // namespace setup
