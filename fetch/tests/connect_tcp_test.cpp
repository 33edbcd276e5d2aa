#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "fetch/http/address_attempt.hpp"
#include "fetch/http/connect_tcp.hpp"
#include "platform/thread.hpp"
#include "testkit/loopback.hpp"
#include "testkit/os_codes.hpp"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using fetch::ConnectPlan;
using platform::ErrorKind;
using platform::IoError;
using platform::Socket;
using platform::SocketAddress;

// Records every connect that the attempts make, then makes it (or does what
// the test asks instead). Attempt threads may outlive a test, so the record
// is shared with them.
class ConnectLog {
 public:
  struct Call {
    SocketAddress address;
    std::chrono::milliseconds timeout;
    Clock::time_point at;
    std::thread::id thread;
    std::string thread_name;
  };
  using Behaviour = std::function<tl::expected<Socket, IoError>(const SocketAddress&, std::chrono::milliseconds)>;

  // Real connects for every address.
  ConnectLog() : ConnectLog(&Socket::connect) {}
  explicit ConnectLog(Behaviour behaviour) : state_(std::make_shared<State>()) {
    state_->behaviour = std::move(behaviour);
  }

  ConnectPlan::ConnectFn hook() const {
    return [state = state_](const SocketAddress& address, std::chrono::milliseconds timeout) {
      {
        std::lock_guard lock(state->mutex);
        state->calls.push_back(
            {address, timeout, Clock::now(), std::this_thread::get_id(), platform::current_thread_name()});
      }
      return state->behaviour(address, timeout);
    };
  }

  std::vector<Call> calls() const {
    std::lock_guard lock(state_->mutex);
    return state_->calls;
  }

 private:
  struct State {
    Behaviour behaviour;
    std::mutex mutex;
    std::vector<Call> calls;
  };
  std::shared_ptr<State> state_;
};

ConnectPlan plan_with(const ConnectLog& log, std::chrono::milliseconds limit = 10'000ms) {
  ConnectPlan plan;
  plan.limit = limit;
  plan.connect = log.hook();
  return plan;
}

SocketAddress refusing_address(const std::string& ip = "127.0.0.1") {
  return testkit::loopback4(testkit::free_loopback_port(), ip);
}

std::chrono::milliseconds between(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(to - from);
}

void expect_ten_second_timeouts(const Socket& socket) {
  EXPECT_EQ(socket.receive_timeout().value(), 10'000ms);
  EXPECT_EQ(socket.send_timeout().value(), 10'000ms);
}

TEST(ConnectTcp, AnIpLiteralIsConnectedOnTheCallingThreadWithoutResolving) {
  for (const auto& where : {testkit::loopback4(0), testkit::loopback6(0)}) {
    testkit::LoopbackListener listener(where);
    const std::string host = where.ipv6 ? "::1" : "127.0.0.1";
    SCOPED_TRACE(host);
    ConnectLog log;
    ConnectPlan plan = plan_with(log);
    plan.spawn = [](const std::string&, std::size_t, std::function<void()>) -> tl::expected<void, IoError> {
      ADD_FAILURE() << "one address needs no attempt thread";
      return {};
    };
    auto socket = fetch::connect_tcp_with(host, listener.port(), plan);
    ASSERT_TRUE(socket) << socket.error().text();
    const auto calls = log.calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].address, listener.address());
    EXPECT_EQ(calls[0].timeout, 10'000ms);
    EXPECT_EQ(calls[0].thread, std::this_thread::get_id());
    expect_ten_second_timeouts(*socket);
  }
}

TEST(ConnectTcp, TheRealEntryPointConnectsAndSetsTheTimeOuts) {
  testkit::LoopbackListener listener;
  auto socket = fetch::connect_tcp("127.0.0.1", listener.port());
  ASSERT_TRUE(socket) << socket.error().text();
  EXPECT_EQ(socket->peer_address().value(), listener.address());
  expect_ten_second_timeouts(*socket);
}

TEST(ConnectTcp, OneAddressReturnsItsFailureUnchanged) {
  auto refused = fetch::connect_tcp("127.0.0.1", testkit::free_loopback_port());
  ASSERT_FALSE(refused);
  EXPECT_EQ(refused.error().text(), platform::os_error_text(testkit::os_codes::connection_refused));

  testkit::UnansweringPort silent;
  ConnectLog log;
  auto timed_out = fetch::connect_tcp_with("127.0.0.1", silent.port(), plan_with(log, 300ms));
  ASSERT_FALSE(timed_out);
  EXPECT_EQ(timed_out.error().kind(), ErrorKind::TimedOut);
  EXPECT_EQ(timed_out.error().text(), "connection timed out");
}

TEST(ConnectTcp, ABracketedAddressIsHandedToTheResolverAsWritten) {
  testkit::LoopbackListener listener(testkit::loopback6(0));
  auto socket = fetch::connect_tcp("[::1]", listener.port());
  // Whatever the system's resolver makes of it (Wine's takes the brackets
  // off; glibc's and Windows' refuse them), nothing here does it instead.
  const auto resolver = platform::resolve_host("[::1]", listener.port());
  if (resolver) {
    EXPECT_TRUE(socket) << socket.error().text();
    return;
  }
  ASSERT_FALSE(socket);
  EXPECT_EQ(socket.error().text(), resolver.error().text());
}

TEST(ConnectAddresses, AfterARefusalTheNextAddressStartsAtOnce) {
  testkit::LoopbackListener listener;
  ConnectLog log;
  // A stagger far longer than any machine's delay, and than the deadline.
  ConnectPlan plan = plan_with(log);
  plan.stagger = 60s;
  auto socket = fetch::connect_addresses({refusing_address(), listener.address()}, plan);
  ASSERT_TRUE(socket) << socket.error().text();
  EXPECT_EQ(socket->peer_address().value(), listener.address());
  expect_ten_second_timeouts(*socket);

  const auto calls = log.calls();
  ASSERT_EQ(calls.size(), 2u);
  // At once: a second address that waited for the stagger would never have
  // started before the deadline.
  EXPECT_LT(between(calls[0].at, calls[1].at), plan.limit);
  for (const auto& call : calls) {
    EXPECT_NE(call.thread, std::this_thread::get_id());
    // "mv-address attempt", cut to what a thread name holds on the system.
    EXPECT_EQ(call.thread_name, std::string("mv-address attempt").substr(0, platform::thread_name_limit()));
  }
}

TEST(ConnectAddresses, WhileTheFirstIsSilentTheSecondStartsAStaggerLater) {
  testkit::UnansweringPort silent;
  testkit::LoopbackListener listener;
  ConnectLog log;
  const auto started = Clock::now();
  auto socket = fetch::connect_addresses({silent.address(), listener.address()}, plan_with(log));
  ASSERT_TRUE(socket) << socket.error().text();
  EXPECT_EQ(socket->peer_address().value(), listener.address());
  // Long before the first attempt's own time-out of ten seconds.
  EXPECT_LT(between(started, Clock::now()), 5s);

  const auto calls = log.calls();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].address, silent.address());
  // The stagger runs from the first attempt's start on the connecting
  // thread, not from when that attempt's own thread got going, which a busy
  // machine can delay: it is measured from before the call.
  const ConnectPlan plan = plan_with(log);
  EXPECT_GE(between(started, calls[1].at), plan.stagger);
  EXPECT_LT(between(calls[0].at, calls[1].at), 5s);
  // The first attempt may only wait for what is left of the deadline.
  EXPECT_LE(calls[0].timeout, plan.limit);
  EXPECT_LE(calls[1].timeout, plan.limit - plan.stagger);
}

TEST(ConnectAddresses, ALateSuccessIsDiscardedAndItsSocketClosed) {
  testkit::LoopbackListener slow_server;
  testkit::LoopbackListener quick_server;
  ConnectLog log([&](const SocketAddress& address, std::chrono::milliseconds timeout) {
    if (address == slow_server.address()) std::this_thread::sleep_for(2000ms);
    return Socket::connect(address, timeout);
  });
  auto socket = fetch::connect_addresses({slow_server.address(), quick_server.address()}, plan_with(log));
  ASSERT_TRUE(socket) << socket.error().text();
  EXPECT_EQ(socket->peer_address().value(), quick_server.address());

  // The slow attempt connects after the call has returned; nobody takes its
  // socket, so the attempt closes it.
  Socket late = slow_server.accept();
  ASSERT_TRUE(late.set_receive_timeout(5s));
  std::uint8_t byte;
  auto got = late.receive(std::span(&byte, 1));
  ASSERT_TRUE(got) << got.error().text();
  EXPECT_EQ(*got, 0u);
}

TEST(ConnectAddresses, WhenAllRefuseTheErrorIsTheOneThatArrivedLast) {
  // Real refusals, one after the other, with no stagger in between.
  ConnectLog log;
  ConnectPlan plan = plan_with(log, 60s);
  plan.stagger = 60s;
  const auto started = Clock::now();
  auto refused = fetch::connect_addresses(
      {refusing_address(), refusing_address("127.0.0.2"), refusing_address("127.0.0.3")}, plan);
  ASSERT_FALSE(refused);
  EXPECT_EQ(refused.error().text(), platform::os_error_text(testkit::os_codes::connection_refused));
  EXPECT_EQ(log.calls().size(), 3u);
  // Staggered, the second would not even have started before a minute.
  EXPECT_LT(between(started, Clock::now()), 30s);

  // The first address fails last, after the other two.
  const auto first = testkit::loopback4(1), second = testkit::loopback4(2), third = testkit::loopback4(3);
  ConnectLog scripted([&](const SocketAddress& address, std::chrono::milliseconds) -> tl::expected<Socket, IoError> {
    if (address == first) {
      std::this_thread::sleep_for(900ms);
      return tl::unexpected(IoError::custom(ErrorKind::Other, "the slow failure"));
    }
    return tl::unexpected(IoError::custom(ErrorKind::Other, address == second ? "second" : "third"));
  });
  auto last = fetch::connect_addresses({first, second, third}, plan_with(scripted));
  ASSERT_FALSE(last);
  EXPECT_EQ(last.error().text(), "the slow failure");
}

TEST(ConnectAddresses, TheDeadlineEndsTheWaitWithTheLastFailure) {
  struct Case {
    std::string name;
    std::chrono::milliseconds limit;
    bool first_refuses;
    std::string text;
  };
  const Case cases[] = {
      {"none failed", 1'000ms, false, "no address answered within 1s (last: no address to connect to)"},
      {"one refused", 1'000ms, true,
       "no address answered within 1s (last: " + platform::os_error_text(testkit::os_codes::connection_refused) + ")"},
      {"a limit below the stagger", 250ms, false, "no address answered within 250ms (last: no address to connect to)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    testkit::UnansweringPort silent_a;
    testkit::UnansweringPort silent_b("127.0.0.2");
    const SocketAddress first = c.first_refuses ? refusing_address() : silent_a.address();
    ConnectLog log;
    const auto started = Clock::now();
    auto socket = fetch::connect_addresses({first, silent_b.address()}, plan_with(log, c.limit));
    const auto took = between(started, Clock::now());
    ASSERT_FALSE(socket);
    EXPECT_EQ(socket.error().kind(), ErrorKind::TimedOut);
    // The silent attempt's own connect time-out is the time left to the same
    // deadline, so its "connection timed out" and the deadline arrive
    // together; on a loaded machine (or under Wine) the attempt can win the
    // race, and then every address has failed: the last failure is the
    // answer, or it is named by the deadline that follows at once.
    const std::string attempt_won = c.text.substr(0, c.text.find("(last: ")) + "(last: connection timed out)";
    EXPECT_THAT(socket.error().text(), testing::AnyOf(c.text, attempt_won, "connection timed out"));
    EXPECT_GE(took, c.limit - 10ms);
    EXPECT_LT(took, c.limit + 5s);
  }
}

TEST(ConnectAddresses, AThreadThatCannotStartCountsAsAFailedAttempt) {
  ConnectLog log;
  ConnectPlan plan = plan_with(log, 60s);
  plan.stagger = 60s;
  plan.spawn = [](const std::string&, std::size_t, std::function<void()>) -> tl::expected<void, IoError> {
    return tl::unexpected(IoError::from_os(EAGAIN));
  };
  testing::internal::CaptureStderr();
  const auto started = Clock::now();
  auto socket = fetch::connect_addresses({testkit::loopback4(1), testkit::loopback4(2)}, plan);
  const std::string err = testing::internal::GetCapturedStderr();
  ASSERT_FALSE(socket);
  const std::string text = "address attempt could not start: " + platform::os_error_text(EAGAIN);
  EXPECT_EQ(socket.error().text(), text);
  EXPECT_EQ(socket.error().kind(), ErrorKind::Other);
  EXPECT_EQ(err, "morvane: " + text + "\nmorvane: " + text + "\n");
  EXPECT_TRUE(log.calls().empty());
  // The second was tried at once, not a stagger later.
  EXPECT_LT(between(started, Clock::now()), 30s);
}

TEST(ConnectAddresses, AnInternalFaultInAnAttemptBecomesItsError) {
  struct Case {
    std::string name;
    std::function<void()> fault;
    std::string text;
  };
  const Case cases[] = {
      {"with a message", [] { throw std::runtime_error("the table was empty"); },
       "address attempt stopped on an internal error: the table was empty"},
      {"without one", [] { throw 42; },
       "address attempt stopped on an internal error: a panic that carried no message"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ConnectLog log([&](const SocketAddress&, std::chrono::milliseconds) -> tl::expected<Socket, IoError> {
      c.fault();
      return tl::unexpected(IoError::custom(ErrorKind::Other, "not reached"));
    });
    testing::internal::CaptureStderr();
    auto socket = fetch::connect_addresses({testkit::loopback4(1), testkit::loopback4(2)}, plan_with(log));
    const std::string err = testing::internal::GetCapturedStderr();
    ASSERT_FALSE(socket);
    EXPECT_EQ(socket.error().text(), c.text);
    EXPECT_EQ(err, "morvane: " + c.text + "\nmorvane: " + c.text + "\n");
  }
}

TEST(AttemptAddress, AnAttemptThatStartsAfterTheDeadlineReportsNoTimeLeft) {
  auto channel = std::make_shared<fetch::ResultsChannel>();
  auto reporter = std::make_shared<fetch::AttemptReporter>(channel);
  bool connected = false;
  fetch::ConnectPlan::ConnectFn connect = [&](const SocketAddress&,
                                              std::chrono::milliseconds) -> tl::expected<Socket, IoError> {
    connected = true;
    return tl::unexpected(IoError::custom(ErrorKind::Other, "not reached"));
  };
  fetch::attempt_address(testkit::loopback4(1), Clock::now() - 1ms, channel, reporter, connect);
  EXPECT_FALSE(connected);
  auto message = channel->receive_for(0ms);
  ASSERT_TRUE(message);
  ASSERT_FALSE(*message);
  EXPECT_EQ(message->error().kind(), ErrorKind::TimedOut);
  EXPECT_EQ(message->error().text(), "no time left");
  // Exactly one message per attempt.
  EXPECT_FALSE(channel->receive_for(0ms));
  EXPECT_FALSE(reporter->take());
}

}  // namespace
