#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "platform/socket.hpp"
#include "testkit/loopback.hpp"
#include "testkit/os_codes.hpp"

namespace {

using namespace std::chrono_literals;
using platform::ErrorKind;
using platform::Socket;
using platform::SocketAddress;

Socket connect_or_die(const SocketAddress& address) {
  auto socket = Socket::connect(address, 2s);
  if (!socket) throw std::runtime_error(socket.error().text());
  return std::move(*socket);
}

TEST(IpLiteral, AcceptsOnlyTheStandardForms) {
  struct Case {
    std::string text;
    bool ok;
    bool ipv6;
    std::string canonical;
  };
  const Case cases[] = {
      {"127.0.0.1", true, false, "127.0.0.1"},
      {"255.255.255.255", true, false, "255.255.255.255"},
      {"::1", true, true, "::1"},
      {"2001:DB8:0:0:0:0:0:1", true, true, "2001:db8::1"},
      {"::ffff:10.0.0.1", true, true, "::ffff:10.0.0.1"},
      {"[::1]", false, false, ""},
      {"fe80::1%1", false, false, ""},
      {"1.2.3", false, false, ""},
      {"01.2.3.4", false, false, ""},
      {"256.1.1.1", false, false, ""},
      {"localhost", false, false, ""},
      {" 1.2.3.4", false, false, ""},
      {"", false, false, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const auto address = platform::parse_ip_literal(c.text, 443);
    ASSERT_EQ(address.has_value(), c.ok);
    if (!c.ok) continue;
    EXPECT_EQ(address->ipv6, c.ipv6);
    EXPECT_EQ(address->port, 443);
    EXPECT_EQ(platform::address_text(*address), c.canonical);
  }
}

TEST(Resolve, LocalhostGivesLoopbackAddressesWithThePort) {
  auto addresses = platform::resolve_host("localhost", 8443);
  ASSERT_TRUE(addresses) << addresses.error().text();
  ASSERT_FALSE(addresses->empty());
  for (const auto& address : *addresses) {
    EXPECT_EQ(address.port, 8443);
    const std::string text = platform::address_text(address);
    EXPECT_TRUE(text == "::1" || text.starts_with("127.")) << text;
  }
}

TEST(Resolve, ANameThatDoesNotExistIsTheResolversError) {
  auto addresses = platform::resolve_host("no-such-host.invalid", 80);
  ASSERT_FALSE(addresses);
  EXPECT_FALSE(addresses.error().text().empty());
}

TEST(SocketConnect, ReachesAListenerOnEitherFamily) {
  for (const auto& where : {testkit::loopback4(0), testkit::loopback6(0)}) {
    testkit::LoopbackListener listener(where);
    Socket client = connect_or_die(listener.address());
    Socket server = listener.accept();
    auto peer = client.peer_address();
    ASSERT_TRUE(peer);
    EXPECT_EQ(*peer, listener.address());
    auto local = client.local_address();
    ASSERT_TRUE(local);
    EXPECT_EQ(local->ipv6, where.ipv6);
  }
}

TEST(SocketConnect, AClosedPortIsRefusedAtOnce) {
  const auto started = std::chrono::steady_clock::now();
  auto socket = Socket::connect(testkit::loopback4(testkit::free_loopback_port()), 60s);
  ASSERT_FALSE(socket);
  EXPECT_EQ(socket.error().text(), platform::os_error_text(testkit::os_codes::connection_refused));
  EXPECT_LT(std::chrono::steady_clock::now() - started, 30s);  // well inside the time-out
}

TEST(SocketConnect, AnUnansweredConnectTimesOut) {
  testkit::UnansweringPort silent;
  const auto started = std::chrono::steady_clock::now();
  auto socket = Socket::connect(silent.address(), 300ms);
  const auto took = std::chrono::steady_clock::now() - started;
  ASSERT_FALSE(socket);
  EXPECT_EQ(socket.error().kind(), ErrorKind::TimedOut);
  EXPECT_EQ(socket.error().text(), "connection timed out");
  EXPECT_GE(took, 290ms);
  EXPECT_LT(took, 10s);
}

TEST(SocketConnect, TheSocketIsBlockingAfterTheConnect) {
  testkit::LoopbackListener listener;
  Socket client = connect_or_die(listener.address());
  Socket server = listener.accept();
  // A blocking receive waits for the byte that comes later.
  std::thread sender([&] {
    std::this_thread::sleep_for(100ms);
    (void)server.send(platform::byte_view("x"));
  });
  std::uint8_t byte = 0;
  auto got = client.receive(std::span(&byte, 1));
  sender.join();
  ASSERT_TRUE(got) << got.error().text();
  EXPECT_EQ(*got, 1u);
  EXPECT_EQ(byte, 'x');
}

TEST(SocketTimeouts, AreKeptAndReadBack) {
  testkit::LoopbackListener listener;
  Socket client = connect_or_die(listener.address());
  ASSERT_TRUE(client.set_receive_timeout(10'000ms));
  ASSERT_TRUE(client.set_send_timeout(1'500ms));
  EXPECT_EQ(client.receive_timeout().value(), 10'000ms);
  EXPECT_EQ(client.send_timeout().value(), 1'500ms);
}

TEST(SocketTimeouts, AReceiveThatWaitsTooLongReportsTheSystemsTimeOut) {
  testkit::LoopbackListener listener;
  Socket client = connect_or_die(listener.address());
  Socket server = listener.accept();
  ASSERT_TRUE(client.set_receive_timeout(200ms));
  std::uint8_t buffer[8];
  auto got = client.receive(buffer);
  ASSERT_FALSE(got);
  EXPECT_EQ(got.error().kind(), ErrorKind::TimedOut);
  EXPECT_EQ(got.error().text(), platform::os_error_text(testkit::os_codes::timed_out));
}

TEST(SocketTransfer, BytesGoBothWaysAndACloseReadsAsZero) {
  testkit::LoopbackListener listener;
  Socket client = connect_or_die(listener.address());
  Socket server = listener.accept();
  ASSERT_EQ(client.send(platform::byte_view("ping")).value(), 4u);
  std::uint8_t buffer[16];
  auto got = server.receive(buffer);
  ASSERT_TRUE(got);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), *got), "ping");
  server.close();
  EXPECT_FALSE(server.is_open());
  EXPECT_EQ(client.receive(buffer).value(), 0u);
}

TEST(SocketTransfer, SendingToAClosedPeerIsAnErrorNotASignal) {
  testkit::LoopbackListener listener;
  Socket client = connect_or_die(listener.address());
  listener.accept().close();
  // The first send may still be taken; the ones after the peer's reset fail.
  tl::expected<std::size_t, platform::IoError> sent = 0u;
  for (int i = 0; i < 50 && sent; ++i) {
    sent = client.send(platform::byte_view("data"));
    std::this_thread::sleep_for(10ms);
  }
  ASSERT_FALSE(sent);
  const std::string text = sent.error().text();
  EXPECT_TRUE(text == platform::os_error_text(testkit::os_codes::connection_aborted) ||
              text == platform::os_error_text(testkit::os_codes::connection_reset))
      << text;
}

TEST(SocketLifetime, MovingHandsOverTheDescriptor) {
  testkit::LoopbackListener listener;
  Socket first = connect_or_die(listener.address());
  Socket server = listener.accept();
  Socket second = std::move(first);
  EXPECT_FALSE(first.is_open());
  ASSERT_TRUE(second.is_open());
  ASSERT_EQ(second.send(platform::byte_view("z")).value(), 1u);
  second = Socket();
  std::uint8_t buffer[4];
  EXPECT_EQ(server.receive(buffer).value(), 1u);
  EXPECT_EQ(server.receive(buffer).value(), 0u);  // the move-assignment closed it
}

TEST(Listener, AcceptGivesUpAfterItsTimeOut) {
  auto bound = platform::Listener::bind(testkit::loopback4(0));
  ASSERT_TRUE(bound);
  auto accepted = bound->accept(100ms);
  ASSERT_FALSE(accepted);
  EXPECT_EQ(accepted.error().kind(), ErrorKind::TimedOut);
}

}  // namespace
