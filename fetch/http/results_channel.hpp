// The channel over which connection attempts report to the connecting thread:
// many senders, one receiver. Senders hold it through a shared_ptr, so a late
// attempt can still send after the receiver has gone; its result is then
// dropped (a connected socket is closed).
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>

#include <tl/expected.hpp>

#include "platform/io_error.hpp"
#include "platform/socket.hpp"

namespace fetch {

using AttemptResult = tl::expected<platform::Socket, platform::IoError>;

class ResultsChannel {
 public:
  // False when the receiver is gone; the result has then been dropped.
  bool send(AttemptResult result) {
    {
      std::lock_guard lock(mutex_);
      if (!receiver_alive_) return false;
      queue_.push_back(std::move(result));
    }
    ready_.notify_one();
    return true;
  }

  // The next result, waiting at most `wait` for one.
  std::optional<AttemptResult> receive_for(std::chrono::steady_clock::duration wait) {
    std::unique_lock lock(mutex_);
    if (!ready_.wait_for(lock, wait, [this] { return !queue_.empty(); })) return std::nullopt;
    AttemptResult result = std::move(queue_.front());
    queue_.pop_front();
    return result;
  }

  // The receiver lets go: queued and later results are dropped.
  void close_receiver() {
    std::deque<AttemptResult> dropped;
    {
      std::lock_guard lock(mutex_);
      receiver_alive_ = false;
      dropped.swap(queue_);
    }
  }

 private:
  std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<AttemptResult> queue_;
  bool receiver_alive_ = true;
};

}  // namespace fetch
