#include "fetch/http/address_attempt.hpp"

#include <exception>
#include <string>

#include <fmt/format.h>

#include "fetch/http/diagnostics.hpp"

namespace fetch {

namespace {

constexpr const char* kLabel = "address attempt";
constexpr std::size_t kStackSize = 2 * 1024 * 1024;

AttemptResult other_error(const std::string& text) {
  return tl::unexpected(platform::IoError::custom(platform::ErrorKind::Other, text));
}

}  // namespace

void spawn_address_attempt(const platform::SocketAddress& address, Deadline deadline,
                           std::shared_ptr<ResultsChannel> sender, const ConnectPlan& plan) {
  auto reporter = std::make_shared<AttemptReporter>(sender);
  // The body owns the attempt's sender; when the thread does not start, the
  // body, and the sender with it, is gone by the time spawn returns.
  auto started =
      plan.spawn(fmt::format("mv-{}", kLabel), kStackSize,
                 [address, deadline, sender = std::move(sender), reporter, connect = plan.connect]() mutable {
                   attempt_address(address, deadline, std::move(sender), reporter, connect);
                 });
  if (!started) {
    const std::string text = fmt::format("{} could not start: {}", kLabel, started.error().text());
    log_stderr(text);
    if (auto report = reporter->take()) report->send(other_error(text));
  }
}

void attempt_address(const platform::SocketAddress& address, Deadline deadline, std::shared_ptr<ResultsChannel> sender,
                     const std::shared_ptr<AttemptReporter>& reporter, const ConnectPlan::ConnectFn& connect) noexcept {
  try {
    try {
      const auto left = deadline - std::chrono::steady_clock::now();
      AttemptResult result =
          left <= std::chrono::steady_clock::duration::zero()
              ? AttemptResult(tl::unexpected(platform::IoError::custom(platform::ErrorKind::TimedOut, "no time left")))
              : connect(address, std::chrono::ceil<std::chrono::milliseconds>(left));
      // A receiver that has gone drops the result, closing a connected socket.
      sender->send(std::move(result));
      sender.reset();
      // The result is out; a fault from here on must not report a second one.
      reporter->take();
    } catch (...) {
      const std::string text =
          fmt::format("{} stopped on an internal error: {}", kLabel, panic_text(std::current_exception()));
      log_stderr(text);
      if (auto report = reporter->take()) report->send(other_error(text));
    }
  } catch (...) {
    try {
      log_stderr(fmt::format("{}: reporting the failure failed too: {}", kLabel, panic_text(std::current_exception())));
    } catch (...) {
      // Nothing is left to tell anyone with.
    }
  }
}

}  // namespace fetch
