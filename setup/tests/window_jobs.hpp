// Install jobs that the test plays from its own thread: each job reports the
// statuses it is given and returns (or faults) when told to.
#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <variant>
#include <deque>

#include "setup/window/window_worker.hpp"

namespace window_test {

class ScriptedJobs {
 public:
  ScriptedJobs();
  ~ScriptedJobs();

  // The runner the worker calls, once per job.
  setup::JobRunner runner() const;

  // The running job reports a status; returns once the job has handed it on.
  void report(setup::SetupStatus status);
  // The running job returns the result; returns once it has.
  void finish(setup::InstallResult result);
  // The running job ends with an internal fault carrying the text.
  void fault(std::string text);

  // Every job from now on returns a failure at once: a test that failed
  // part-way lets the worker end.
  void abandon();

  // How many jobs have started, waiting up to 5 seconds for `count`.
  bool wait_for_jobs(int count);
  int jobs_started() const;
  // The cancel flag as the running job sees it; false when none runs.
  bool cancel_seen() const;

 private:
  struct Fault {
    std::string text;
  };
  using Command = std::variant<setup::SetupStatus, setup::InstallResult, Fault>;
  struct State {
    mutable std::mutex mutex;
    std::condition_variable changed;
    std::deque<Command> commands;
    int started = 0;
    int handled = 0;
    bool abandoned = false;
    const setup::CancelFlag* cancel = nullptr;
  };
  void send(Command command);

  std::shared_ptr<State> state_ = std::make_shared<State>();
};

}  // namespace window_test
