// The SOCKS5 tunnel against scripted proxies: every answer of the exchange,
// including the ones real proxies will not give on demand.
#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <string>

#include <fmt/format.h>

#include "fetch/http/connect_tcp.hpp"
#include "fetch/http/tunnel.hpp"
#include "fetch/http/tunnel_wire.hpp"
#include "fetch/tests/tunnel_peer.hpp"
#include "testkit/scripted_server.hpp"
#include "testkit/os_codes.hpp"

namespace {

using namespace std::chrono_literals;
using fetch::ConnectError;
using fetch::ProxyCredentials;
using fetch::ProxyEndpoint;
using fetch::ProxyKind;
using testkit::Script;
using testkit::ScriptedServer;
using fetch_test::connect_to;

ProxyEndpoint endpoint(std::optional<ProxyCredentials> credentials = {}) {
  return {ProxyKind::Socks5, "127.0.0.1", std::move(credentials), 0};
}

std::string bytes(std::initializer_list<std::uint8_t> list) { return std::string(list.begin(), list.end()); }

// The CONNECT request for a host and port, in the domain-name form.
std::string connect_request(const std::string& host, std::uint16_t port) {
  return bytes({5, 1, 0, 3, static_cast<std::uint8_t>(host.size())}) + host +
         bytes({static_cast<std::uint8_t>(port >> 8), static_cast<std::uint8_t>(port & 0xFF)});
}

const std::string kGreeting = bytes({5, 1, 0});
const std::string kGreetingWithLogin = bytes({5, 2, 0, 2});
const std::string kBoundV4 = bytes({5, 0, 0, 1, 10, 0, 0, 1, 0x1F, 0x90});
const std::string kTarget = "target.example";

// A proxy that takes the greeting, chooses no authentication, reads the
// request for kTarget:443 and gives `reply`.
Script replying(std::string reply) {
  return std::move(
      Script().read(3).send(bytes({5, 0})).read(connect_request(kTarget, 443).size()).send(std::move(reply)));
}

struct Outcome {
  tl::expected<void, ConnectError> result;
  std::string received;
  bool socket_open;
  std::string proxy;
};

Outcome run(Script script, std::optional<ProxyCredentials> credentials = {}, const std::string& host = kTarget,
            std::uint16_t port = 443) {
  ScriptedServer proxy(std::move(script));
  auto socket = connect_to(proxy);
  auto result = fetch::socks5_tunnel(socket, endpoint(std::move(credentials)), host, port);
  const bool open = socket.is_open();
  socket.close();
  return {std::move(result), proxy.received(), open, fmt::format("127.0.0.1:{}", proxy.port())};
}

std::string sentence(const Outcome& outcome) {
  return outcome.result ? "ok" : fetch::format_connect_error(outcome.result.error());
}

TEST(Socks5, WithoutCredentialsOffersOnlyNoAuthenticationAndSendsTheHostAsAName) {
  struct Case {
    std::string host;
    std::uint16_t port;
  };
  for (const Case& c :
       {Case{"releases.example", 443}, Case{"127.0.0.1", 8443}, Case{"[::1]", 1}, Case{"Up.Case", 65535}}) {
    SCOPED_TRACE(c.host);
    const std::string request = connect_request(c.host, c.port);
    auto outcome =
        run(std::move(Script().read(3).send(bytes({5, 0})).read(request.size()).send(kBoundV4)), {}, c.host, c.port);
    EXPECT_EQ(sentence(outcome), "ok");
    EXPECT_TRUE(outcome.socket_open);
    EXPECT_EQ(outcome.received, kGreeting + request);
  }
}

TEST(Socks5, WithCredentialsLogsInWhenAsked) {
  const std::string login = bytes({1, 5}) + "alice" + bytes({6}) + "s3cret";
  const std::string request = connect_request(kTarget, 443);
  auto outcome = run(std::move(Script()
                                   .read(4)
                                   .send(bytes({5, 2}))
                                   .read(login.size())
                                   .send(bytes({1, 0}))
                                   .read(request.size())
                                   .send(kBoundV4)),
                     ProxyCredentials{"alice", "s3cret"});
  EXPECT_EQ(sentence(outcome), "ok");
  EXPECT_EQ(outcome.received, kGreetingWithLogin + login + request);

  // An empty password goes as length 0; the first byte of the answer is not looked at.
  const std::string empty_password = bytes({1, 3}) + "bob" + bytes({0});
  outcome = run(std::move(Script()
                              .read(4)
                              .send(bytes({5, 2}))
                              .read(empty_password.size())
                              .send(bytes({5, 0}))
                              .read(request.size())
                              .send(kBoundV4)),
                ProxyCredentials{"bob", ""});
  EXPECT_EQ(sentence(outcome), "ok");
  EXPECT_EQ(outcome.received, kGreetingWithLogin + empty_password + request);

  // A proxy that needs no login is not given one.
  outcome = run(std::move(Script().read(4).send(bytes({5, 0})).read(request.size()).send(kBoundV4)),
                ProxyCredentials{"alice", "s3cret"});
  EXPECT_EQ(sentence(outcome), "ok");
  EXPECT_EQ(outcome.received, kGreetingWithLogin + request);
}

TEST(Socks5, TheMethodAnswerDecides) {
  struct Case {
    std::string name;
    std::string answer;
    bool credentials;
    std::string sentence;
  };
  const Case cases[] = {
      {"an HTTP proxy", "HTTP/1.1 400 Bad Request\r\n\r\n", false,
       "the proxy at {} did not answer as a proxy: it answered SOCKS version 72, not 5 \u2014 is it an HTTP proxy?"},
      {"SOCKS 4", bytes({4, 0}), false,
       "the proxy at {} did not answer as a proxy: it answered SOCKS version 4, not 5 \u2014 is it an HTTP proxy?"},
      {"GSSAPI", bytes({5, 1}), false,
       "the proxy at {} did not answer as a proxy: it chose authentication method 0x01, which Morvane does not speak"},
      {"a private method", bytes({5, 0x8a}), true,
       "the proxy at {} did not answer as a proxy: it chose authentication method 0x8a, which Morvane does not speak"},
      {"no acceptable method", bytes({5, 0xff}), true,
       "the proxy at {} refused this connection: it accepted none of the ways Morvane can identify itself"},
      {"a login nobody offered", bytes({5, 2}), false,
       "the proxy at {} refused this connection: it wants a username and password, and the proxy address carries "
       "none"},
      {"closed before answering", "", false, "the proxy at {} is not answering: failed to fill whole buffer"},
      {"half an answer", bytes({5}), false, "the proxy at {} is not answering: failed to fill whole buffer"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto outcome = run(std::move(Script().read(c.credentials ? 4 : 3).send(c.answer)),
                       c.credentials ? std::optional(ProxyCredentials{"u", "p"}) : std::nullopt);
    EXPECT_EQ(sentence(outcome), fmt::format(fmt::runtime(c.sentence), outcome.proxy));
    EXPECT_FALSE(outcome.socket_open);
  }
}

TEST(Socks5, ARefusedLoginIsRefused) {
  const std::string login = bytes({1, 1}) + "u" + bytes({1}) + "p";
  for (std::uint8_t status : {1, 2, 0xff}) {
    auto outcome = run(std::move(Script().read(4).send(bytes({5, 2})).read(login.size()).send(bytes({1, status}))),
                       ProxyCredentials{"u", "p"});
    EXPECT_EQ(sentence(outcome),
              fmt::format("the proxy at {} refused this connection: it did not accept the username and password in "
                          "the proxy address",
                          outcome.proxy));
  }
}

TEST(Socks5, ValuesOverTheSocksLimitsAreRefusedBeforeTheyAreSent) {
  const std::string s255(255, 'a'), s256(256, 'a');
  const std::string login_limit =
      "the proxy address cannot be read: a SOCKS5 username or password may not exceed 255 bytes";
  const std::string host_limit = "the proxy address cannot be read: the host name is longer than SOCKS5 allows";

  // At the limit: sent whole.
  const std::string login = bytes({1, 255}) + s255 + bytes({255}) + s255;
  auto outcome = run(std::move(Script()
                                   .read(4)
                                   .send(bytes({5, 2}))
                                   .read(login.size())
                                   .send(bytes({1, 0}))
                                   .read(connect_request(kTarget, 443).size())
                                   .send(kBoundV4)),
                     ProxyCredentials{s255, s255});
  EXPECT_EQ(sentence(outcome), "ok");
  EXPECT_EQ(outcome.received, kGreetingWithLogin + login + connect_request(kTarget, 443));

  outcome = run(std::move(Script().read(3).send(bytes({5, 0})).read(connect_request(s255, 443).size()).send(kBoundV4)),
                {}, s255);
  EXPECT_EQ(sentence(outcome), "ok");
  EXPECT_EQ(outcome.received, kGreeting + connect_request(s255, 443));

  // Over it: nothing of the login or the request goes out.
  for (const auto& credentials : {ProxyCredentials{s256, "p"}, ProxyCredentials{"u", s256}}) {
    outcome = run(std::move(Script().read(4).send(bytes({5, 2})).drain_until_closed()), credentials);
    EXPECT_EQ(sentence(outcome), login_limit);
    EXPECT_EQ(outcome.received, kGreetingWithLogin);
    EXPECT_FALSE(outcome.socket_open);
  }
  outcome = run(std::move(Script().read(3).send(bytes({5, 0})).drain_until_closed()), {}, s256);
  EXPECT_EQ(sentence(outcome), host_limit);
  EXPECT_EQ(outcome.received, kGreeting);
}

TEST(Socks5, EveryReplyCodeHasItsReason) {
  struct Case {
    std::uint8_t code;
    std::string reason;
  };
  const Case cases[] = {
      {1, "the proxy failed"},
      {2, "the proxy's own rules forbid this connection"},
      {3, "the network is unreachable from the proxy"},
      {4, "the host is unreachable from the proxy"},
      {5, "the far side refused the connection"},
      {6, "the connection timed out"},
      {7, "the proxy does not support this kind of connection"},
      {8, "the proxy does not support this kind of address"},
      {9, "the proxy refused, without saying why"},
      {0x80, "the proxy refused, without saying why"},
      {255, "the proxy refused, without saying why"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(int(c.code));
    auto outcome = run(replying(bytes({5, c.code, 0, 1, 0, 0, 0, 0, 0, 0})));
    EXPECT_EQ(sentence(outcome),
              fmt::format("the proxy at {} could not reach target.example:443: {}", outcome.proxy, c.reason));
    EXPECT_FALSE(outcome.socket_open);
  }
}

TEST(Socks5, TheBoundAddressIsReadByItsType) {
  struct Case {
    std::string name;
    std::string reply;
    std::string sentence;
  };
  const std::string after = "AFTER";
  const Case cases[] = {
      {"IPv4", kBoundV4 + after, "ok"},
      {"a name of length 0", bytes({5, 0, 0, 3, 0, 0x1F, 0x90}) + after, "ok"},
      {"a name", bytes({5, 0, 0, 3, 4}) + "prox" + bytes({0, 80}) + after, "ok"},
      {"IPv6", bytes({5, 0, 0, 4}) + std::string(16, '\0') + bytes({1, 187}) + after, "ok"},
      {"the version and reserved bytes are ignored", bytes({0, 0, 7, 1, 1, 2, 3, 4, 0, 1}) + after, "ok"},
      {"an unknown type", bytes({5, 0, 0, 2, 1, 2, 3, 4, 0, 1}),
       "the proxy at {} did not answer as a proxy: it bound an address of type 0x02"},
      {"type 0xAB", bytes({5, 0, 0, 0xab}),
       "the proxy at {} did not answer as a proxy: it bound an address of type 0xab"},
      {"cut short", bytes({5, 0, 0, 1, 10, 0, 0}), "the proxy at {} is not answering: failed to fill whole buffer"},
      {"a name cut short", bytes({5, 0, 0, 3}), "the proxy at {} is not answering: failed to fill whole buffer"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedServer proxy(replying(c.reply));
    auto socket = connect_to(proxy);
    auto result = fetch::socks5_tunnel(socket, endpoint(), kTarget, 443);
    if (c.sentence == "ok") {
      ASSERT_TRUE(result) << fetch::format_connect_error(result.error());
      // Nothing of what follows the reply was taken.
      auto rest = socket.receive_exact(after.size());
      ASSERT_TRUE(rest) << rest.error().text();
      EXPECT_EQ(platform::to_string(*rest), after);
      continue;
    }
    ASSERT_FALSE(result);
    EXPECT_EQ(fetch::format_connect_error(result.error()),
              fmt::format(fmt::runtime(c.sentence), fmt::format("127.0.0.1:{}", proxy.port())));
    EXPECT_FALSE(socket.is_open());
  }
}

TEST(Socks5, AProxyThatClosesInsteadOfReplyingCannotReachTheTarget) {
  const std::string ssh =
      "the proxy at {} could not reach target.example:443: it closed the connection instead of answering (an SSH "
      "dynamic forward does this when it cannot reach the target)";
  for (const std::string& partial : {std::string(), bytes({5, 0})}) {
    SCOPED_TRACE(partial.size());
    auto outcome = run(replying(partial));
    EXPECT_EQ(sentence(outcome), fmt::format(fmt::runtime(ssh), outcome.proxy));
    EXPECT_FALSE(outcome.socket_open);
  }
}

TEST(Socks5, AProxyThatStaysSilentIsNotAnswering) {
  ScriptedServer proxy(
      std::move(Script().read(3).send(bytes({5, 0})).read(connect_request(kTarget, 443).size()).pause(800ms)));
  auto socket = connect_to(proxy);
  ASSERT_TRUE(socket.set_receive_timeout(300ms));
  auto result = fetch::socks5_tunnel(socket, endpoint(), kTarget, 443);
  ASSERT_FALSE(result);
  EXPECT_EQ(
      fetch::format_connect_error(result.error()),
      fmt::format("the proxy at 127.0.0.1:{} is not answering: {}", proxy.port(), platform::os_error_text(testkit::os_codes::timed_out)));
  EXPECT_FALSE(socket.is_open());
}

}  // namespace
