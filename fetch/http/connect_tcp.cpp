#include "fetch/http/connect_tcp.hpp"

#include <algorithm>
#include <memory>

#include <fmt/format.h>

#include "fetch/http/address_attempt.hpp"
#include "fetch/http/results_channel.hpp"

namespace fetch {

namespace {

using platform::ErrorKind;
using platform::IoError;
using platform::Socket;
using platform::SocketAddress;
using Clock = std::chrono::steady_clock;

constexpr std::chrono::milliseconds kSocketTimeout{10'000};

// The limit as a duration is written: 10s, 1.5s, 300ms.
std::string limit_text(std::chrono::milliseconds limit) {
  const auto ms = limit.count();
  if (ms % 1000 == 0) return fmt::format("{}s", ms / 1000);
  if (ms < 1000) return fmt::format("{}ms", ms);
  std::string fraction = fmt::format("{:03}", ms % 1000);
  while (fraction.back() == '0') fraction.pop_back();
  return fmt::format("{}.{}s", ms / 1000, fraction);
}

// The coordinating loop over several addresses: starts the attempts one
// stagger apart, or at once when every running attempt has failed, and takes
// the first socket that connects.
tl::expected<Socket, IoError> race_addresses(const std::vector<SocketAddress>& addresses, Deadline deadline,
                                             const ConnectPlan& plan) {
  auto channel = std::make_shared<ResultsChannel>();
  // Attempts still running when this returns find the receiver gone.
  struct ReceiverGuard {
    ResultsChannel& channel;
    ~ReceiverGuard() { channel.close_receiver(); }
  } guard{*channel};

  const std::size_t count = addresses.size();
  std::size_t started = 0;
  std::size_t failed = 0;
  IoError last = IoError::custom(ErrorKind::NotFound, "no address to connect to");
  auto timed_out = [&] {
    return tl::unexpected(IoError::custom(ErrorKind::TimedOut, fmt::format("no address answered within {} (last: {})",
                                                                           limit_text(plan.limit), last.text())));
  };
  auto start_next = [&] {
    spawn_address_attempt(addresses[started], deadline, channel, plan);
    ++started;
  };

  for (;;) {
    if (started == failed && started < count) start_next();

    const auto now = Clock::now();
    const auto left = deadline > now ? deadline - now : Clock::duration::zero();
    if (left == Clock::duration::zero()) return timed_out();
    const auto wait = started < count ? std::min<Clock::duration>(left, plan.stagger) : left;

    auto message = channel->receive_for(wait);
    if (!message) {
      if (started < count) {
        start_next();
        continue;
      }
      return timed_out();
    }
    if (*message) return std::move(**message);
    last = std::move(message->error());
    ++failed;
    if (failed == count) return tl::unexpected(std::move(last));
  }
}

}  // namespace

tl::expected<Socket, IoError> connect_tcp(const std::string& host, std::uint16_t port) {
  return connect_tcp_with(host, port, ConnectPlan{});
}

tl::expected<Socket, IoError> connect_tcp_with(const std::string& host, std::uint16_t port, const ConnectPlan& plan) {
  std::vector<SocketAddress> addresses;
  if (auto literal = platform::parse_ip_literal(host, port)) {
    addresses.push_back(*literal);
  } else {
    auto resolved = platform::resolve_host(host, port);
    if (!resolved) return tl::unexpected(std::move(resolved.error()));
    addresses = std::move(*resolved);
  }
  if (addresses.empty()) {
    return tl::unexpected(IoError::custom(ErrorKind::NotFound, fmt::format("{} resolved to nothing", host)));
  }
  return connect_addresses(addresses, plan);
}

tl::expected<Socket, IoError> connect_addresses(const std::vector<SocketAddress>& addresses, const ConnectPlan& plan) {
  if (addresses.empty()) return tl::unexpected(IoError::custom(ErrorKind::NotFound, "no address to connect to"));
  const Deadline deadline = Clock::now() + plan.limit;
  auto connected =
      addresses.size() == 1 ? plan.connect(addresses.front(), plan.limit) : race_addresses(addresses, deadline, plan);
  if (!connected) return connected;

  Socket socket = std::move(*connected);
  if (auto set = socket.set_receive_timeout(kSocketTimeout); !set) return tl::unexpected(std::move(set.error()));
  if (auto set = socket.set_send_timeout(kSocketTimeout); !set) return tl::unexpected(std::move(set.error()));
  return socket;
}

}  // namespace fetch
