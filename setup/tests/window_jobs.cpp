#include "setup/tests/window_jobs.hpp"

#include <chrono>
#include <stdexcept>

namespace window_test {

using namespace std::chrono_literals;

ScriptedJobs::ScriptedJobs() = default;

ScriptedJobs::~ScriptedJobs() = default;

setup::JobRunner ScriptedJobs::runner() const {
  return [state = state_](const setup::CancelFlag& cancel, const setup::StatusSink& sink) -> setup::InstallResult {
    std::unique_lock lock(state->mutex);
    ++state->started;
    state->cancel = &cancel;
    state->changed.notify_all();
    while (true) {
      state->changed.wait(lock, [&] { return !state->commands.empty() || state->abandoned; });
      if (state->commands.empty()) {
        state->cancel = nullptr;
        return tl::unexpected(std::string("abandoned by a failed test"));
      }
      Command command = std::move(state->commands.front());
      state->commands.pop_front();
      if (auto* status = std::get_if<setup::SetupStatus>(&command)) {
        sink(*status);
        ++state->handled;
        state->changed.notify_all();
        continue;
      }
      state->cancel = nullptr;
      ++state->handled;
      state->changed.notify_all();
      if (auto* fault = std::get_if<Fault>(&command)) throw std::runtime_error(fault->text);
      return std::get<setup::InstallResult>(std::move(command));
    }
  };
}

void ScriptedJobs::send(Command command) {
  std::unique_lock lock(state_->mutex);
  const int target = state_->handled + static_cast<int>(state_->commands.size()) + 1;
  state_->commands.push_back(std::move(command));
  state_->changed.notify_all();
  state_->changed.wait_for(lock, 5s, [&] { return state_->handled >= target; });
}

void ScriptedJobs::report(setup::SetupStatus status) { send(std::move(status)); }

void ScriptedJobs::finish(setup::InstallResult result) { send(std::move(result)); }

void ScriptedJobs::fault(std::string text) { send(Fault{std::move(text)}); }

void ScriptedJobs::abandon() {
  std::lock_guard lock(state_->mutex);
  state_->abandoned = true;
  state_->changed.notify_all();
}

bool ScriptedJobs::wait_for_jobs(int count) {
  std::unique_lock lock(state_->mutex);
  return state_->changed.wait_for(lock, 5s, [&] { return state_->started >= count; });
}

int ScriptedJobs::jobs_started() const {
  std::lock_guard lock(state_->mutex);
  return state_->started;
}

bool ScriptedJobs::cancel_seen() const {
  std::lock_guard lock(state_->mutex);
  return state_->cancel != nullptr && state_->cancel->load(std::memory_order_relaxed);
}

}  // namespace window_test
