// The tunnels through real proxies on loopback: tinyproxy for HTTP CONNECT
// and microsocks for SOCKS5, each tunnelling to a server of the test's own.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include <fmt/format.h>

#include "fetch/http/connect_tcp.hpp"
#include "fetch/http/tunnel.hpp"
#include "fetch/http/tunnel_wire.hpp"
#include "testkit/loopback.hpp"
#include "testkit/proxies.hpp"
#include "testkit/scripted_server.hpp"

namespace {

using fetch::ProxyCredentials;
using fetch::ProxyEndpoint;
using fetch::ProxyKind;
using testkit::Script;
using testkit::ScriptedServer;

// The server behind the proxy: answers "ping" with "pong".
Script pong() { return std::move(Script().read(4).send("pong")); }

platform::Socket connect_to_proxy(std::uint16_t port) {
  auto socket = fetch::connect_tcp("127.0.0.1", port);
  if (!socket) throw std::runtime_error("cannot reach the proxy: " + socket.error().text());
  return std::move(*socket);
}

// The tunnel carries the server's traffic both ways.
void expect_ping_pong(platform::Socket& socket) {
  ASSERT_TRUE(socket.send_all(platform::byte_view("ping")));
  auto answer = socket.receive_exact(4);
  ASSERT_TRUE(answer) << answer.error().text();
  EXPECT_EQ(platform::to_string(*answer), "pong");
}

using Tunnel = tl::expected<void, fetch::ConnectError> (*)(platform::Socket&, const ProxyEndpoint&, const std::string&,
                                                           std::uint16_t);

struct Attempt {
  tl::expected<void, fetch::ConnectError> result;
  platform::Socket socket;
};

Attempt through(Tunnel tunnel, std::uint16_t proxy_port, ProxyKind kind, std::optional<ProxyCredentials> credentials,
                const std::string& host, std::uint16_t port) {
  Attempt attempt{{}, connect_to_proxy(proxy_port)};
  const ProxyEndpoint endpoint{kind, "127.0.0.1", std::move(credentials), proxy_port};
  attempt.result = tunnel(attempt.socket, endpoint, host, port);
  return attempt;
}

std::string sentence(const Attempt& attempt) {
  return attempt.result ? "ok" : fetch::format_connect_error(attempt.result.error());
}

TEST(TinyProxy, OpensATunnelToTheServer) {
  testkit::TinyProxy proxy;
  ScriptedServer server(pong());
  auto attempt = through(&fetch::http_connect_tunnel, proxy.port(), ProxyKind::Http, {}, "127.0.0.1", server.port());
  ASSERT_EQ(sentence(attempt), "ok");
  expect_ping_pong(attempt.socket);
}

TEST(TinyProxy, WithBasicCredentials) {
  testkit::TinyProxy proxy(testkit::ProxyLogin{"alice", "s3cret"});
  const std::string at = fmt::format("127.0.0.1:{}", proxy.port());

  ScriptedServer server(pong());
  auto good = through(&fetch::http_connect_tunnel, proxy.port(), ProxyKind::Http, ProxyCredentials{"alice", "s3cret"},
                      "127.0.0.1", server.port());
  ASSERT_EQ(sentence(good), "ok");
  expect_ping_pong(good.socket);

  auto none = through(&fetch::http_connect_tunnel, proxy.port(), ProxyKind::Http, {}, "127.0.0.1", server.port());
  EXPECT_EQ(sentence(none), "the proxy at " + at +
                                " refused this connection: it wants a username and password, and the proxy address "
                                "carries none");
  EXPECT_FALSE(none.socket.is_open());

  // tinyproxy answers wrong credentials with 401.
  auto wrong = through(&fetch::http_connect_tunnel, proxy.port(), ProxyKind::Http, ProxyCredentials{"alice", "nope"},
                       "127.0.0.1", server.port());
  EXPECT_EQ(sentence(wrong), "the proxy at " + at + " refused this connection: HTTP/1.0 401 Unauthorized");
}

TEST(TinyProxy, RefusesPortsItDoesNotTunnelTo) {
  testkit::TinyProxy proxy({}, {443});
  auto attempt = through(&fetch::http_connect_tunnel, proxy.port(), ProxyKind::Http, {}, "127.0.0.1", 8443);
  EXPECT_EQ(sentence(attempt), fmt::format("the proxy at 127.0.0.1:{} refused this connection: HTTP/1.1 403 Access "
                                           "violation \u2014 many HTTP proxies allow a tunnel to port 443 only, and "
                                           "this one was asked for port 8443",
                                           proxy.port()));
}

TEST(TinyProxy, ATargetThatRefusesIsNotTheAnswerOfAProxy) {
  // tinyproxy says "500 Unable to connect", which is no status a tunnel knows.
  testkit::TinyProxy proxy;
  auto attempt = through(&fetch::http_connect_tunnel, proxy.port(), ProxyKind::Http, {}, "127.0.0.1",
                         testkit::free_loopback_port());
  EXPECT_EQ(sentence(attempt), fmt::format("the proxy at 127.0.0.1:{} did not answer as a proxy: HTTP/1.1 500 Unable "
                                           "to connect",
                                           proxy.port()));
}

TEST(MicroSocks, OpensATunnelToTheServerByName) {
  testkit::MicroSocks proxy;
  for (const std::string host : {"127.0.0.1", "localhost"}) {
    SCOPED_TRACE(host);
    ScriptedServer server(pong());
    auto attempt = through(&fetch::socks5_tunnel, proxy.port(), ProxyKind::Socks5, {}, host, server.port());
    ASSERT_EQ(sentence(attempt), "ok");
    expect_ping_pong(attempt.socket);
  }
}

TEST(MicroSocks, ATargetThatRefusesIsReportedByTheProxy) {
  testkit::MicroSocks proxy;
  const std::uint16_t closed = testkit::free_loopback_port();
  auto attempt = through(&fetch::socks5_tunnel, proxy.port(), ProxyKind::Socks5, {}, "127.0.0.1", closed);
  EXPECT_EQ(sentence(attempt), fmt::format("the proxy at 127.0.0.1:{} could not reach 127.0.0.1:{}: the far side "
                                           "refused the connection",
                                           proxy.port(), closed));
  EXPECT_FALSE(attempt.socket.is_open());
}

TEST(MicroSocks, WithUserAndPassword) {
  testkit::MicroSocks proxy(testkit::ProxyLogin{"bob", "pw"});
  const std::string at = fmt::format("127.0.0.1:{}", proxy.port());

  ScriptedServer server(pong());
  auto good = through(&fetch::socks5_tunnel, proxy.port(), ProxyKind::Socks5, ProxyCredentials{"bob", "pw"},
                      "127.0.0.1", server.port());
  ASSERT_EQ(sentence(good), "ok");
  expect_ping_pong(good.socket);

  auto wrong = through(&fetch::socks5_tunnel, proxy.port(), ProxyKind::Socks5, ProxyCredentials{"bob", "px"},
                       "127.0.0.1", server.port());
  EXPECT_EQ(sentence(wrong), "the proxy at " + at +
                                 " refused this connection: it did not accept the username and password in the proxy "
                                 "address");

  // Offered only "no authentication", microsocks accepts none of the methods.
  auto none = through(&fetch::socks5_tunnel, proxy.port(), ProxyKind::Socks5, {}, "127.0.0.1", server.port());
  EXPECT_EQ(sentence(none), "the proxy at " + at +
                                " refused this connection: it accepted none of the ways Morvane can identify itself");
}

TEST(ProxyMismatch, EachTunnelSpokenToTheOtherKindOfProxy) {
  testkit::MicroSocks socks;
  auto connect_to_socks = through(&fetch::http_connect_tunnel, socks.port(), ProxyKind::Http, {}, "127.0.0.1", 443);
  EXPECT_EQ(sentence(connect_to_socks),
            fmt::format("the proxy at 127.0.0.1:{} did not answer as a proxy: reading its answer: it closed the "
                        "connection",
                        socks.port()));
}

}  // namespace
