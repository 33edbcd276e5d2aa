// One connection attempt of connect_tcp, on a thread of its own.
#pragma once

#include <chrono>
#include <memory>
#include <mutex>

#include "fetch/http/connect_plan.hpp"
#include "fetch/http/results_channel.hpp"
#include "platform/socket.hpp"

namespace fetch {

using Deadline = std::chrono::steady_clock::time_point;

// The attempt's way to report a failure outside its normal flow (its thread
// did not start, or its work ended in an internal fault). Whoever reports
// first takes the sender, so at most one such report is sent.
class AttemptReporter {
 public:
  explicit AttemptReporter(std::shared_ptr<ResultsChannel> sender) : sender_(std::move(sender)) {}

  std::shared_ptr<ResultsChannel> take() {
    std::lock_guard lock(mutex_);
    return std::move(sender_);
  }

 private:
  std::mutex mutex_;
  std::shared_ptr<ResultsChannel> sender_;
};

// Starts one attempt thread and returns at once; a thread that cannot start
// is reported as the attempt's failure.
void spawn_address_attempt(const platform::SocketAddress& address, Deadline deadline,
                           std::shared_ptr<ResultsChannel> sender, const ConnectPlan& plan);

// The body of an attempt thread: connects with the time left and sends the
// result. No internal fault leaves it.
void attempt_address(const platform::SocketAddress& address, Deadline deadline, std::shared_ptr<ResultsChannel> sender,
                     const std::shared_ptr<AttemptReporter>& reporter, const ConnectPlan::ConnectFn& connect) noexcept;

}  // namespace fetch
