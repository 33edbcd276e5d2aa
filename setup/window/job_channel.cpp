#include "setup/window/job_channel.hpp"

#include <condition_variable>
#include <cstddef>
#include <mutex>

namespace setup {

namespace job_channel_detail {

struct Queue {
  std::mutex mutex;
  std::condition_variable changed;
  std::size_t waiting = 0;  // jobs sent and not yet received
  bool closed = false;
};

}  // namespace job_channel_detail

JobSender& JobSender::operator=(JobSender&& other) noexcept {
  if (this != &other) {
    close();
    queue_ = std::move(other.queue_);
  }
  return *this;
}

JobSender::~JobSender() { close(); }

void JobSender::close() {
  if (!queue_) return;
  {
    std::lock_guard lock(queue_->mutex);
    queue_->closed = true;
  }
  queue_->changed.notify_all();
  queue_.reset();
}

void JobSender::send(InstallJob) {
  if (!queue_) return;
  {
    std::lock_guard lock(queue_->mutex);
    ++queue_->waiting;
  }
  queue_->changed.notify_all();
}

std::optional<InstallJob> JobReceiver::receive() {
  std::unique_lock lock(queue_->mutex);
  queue_->changed.wait(lock, [&] { return queue_->waiting > 0 || queue_->closed; });
  if (queue_->waiting == 0) return std::nullopt;
  --queue_->waiting;
  return InstallJob{};
}

std::pair<JobSender, JobReceiver> make_job_channel() {
  auto queue = std::make_shared<job_channel_detail::Queue>();
  return {JobSender(queue), JobReceiver(queue)};
}

}  // namespace setup
