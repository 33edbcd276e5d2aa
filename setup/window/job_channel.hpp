// The job channel from the UI thread to the window's worker: unbounded, one
// sending end and one receiving end. Each InstallJob asks for one run of the
// install transaction. Destroying the sending end closes the channel.
#pragma once

#include <memory>
#include <optional>
#include <utility>

namespace setup {

// One run of the install transaction; it carries nothing.
struct InstallJob {};

namespace job_channel_detail {
struct Queue;
}

class JobSender {
 public:
  explicit JobSender(std::shared_ptr<job_channel_detail::Queue> queue) : queue_(std::move(queue)) {}
  JobSender(JobSender&&) noexcept = default;
  JobSender& operator=(JobSender&& other) noexcept;
  JobSender(const JobSender&) = delete;
  JobSender& operator=(const JobSender&) = delete;
  // Closes the channel.
  ~JobSender();

  void send(InstallJob job);

 private:
  void close();
  std::shared_ptr<job_channel_detail::Queue> queue_;
};

class JobReceiver {
 public:
  explicit JobReceiver(std::shared_ptr<job_channel_detail::Queue> queue) : queue_(std::move(queue)) {}

  // Waits for the next job; nothing once the channel is closed and empty.
  std::optional<InstallJob> receive();

 private:
  std::shared_ptr<job_channel_detail::Queue> queue_;
};

std::pair<JobSender, JobReceiver> make_job_channel();

}  // namespace setup
