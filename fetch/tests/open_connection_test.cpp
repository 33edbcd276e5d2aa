// Opening connections: the time-outs on the socket, the direct failure, and
// (in child processes of this test program, since the proxy settings are
// read once per process) the way through a proxy.
#include <chrono>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "fetch/http/connection.hpp"
#include "fetch/http/open_connection.hpp"
#include "fetch/http/request.hpp"
#include "fetch/tests/fetch_printers.hpp"
#include "platform/env.hpp"
#include "platform/process.hpp"
#include "testkit/loopback.hpp"
#include "testkit/scripted_server.hpp"
#include "testkit/os_codes.hpp"
#include "testkit/scoped_env.hpp"

namespace fetch {
namespace {

using namespace std::chrono_literals;

TEST(OpenConnection, SetsTheReceiveTimeOutAndKeepsTheSendTimeOut) {
  testkit::ScriptedServer server(testkit::Script().drain_until_closed());
  auto connection = open_connection(ServerUrl{"127.0.0.1", "", server.port(), false}, 8);
  ASSERT_TRUE(connection) << format_fetch_error(connection.error());
  EXPECT_EQ(connection_socket(*connection).receive_timeout(), 8000ms);
  EXPECT_EQ(connection_socket(*connection).send_timeout(), 10000ms);
  connection_close(*connection);
  EXPECT_TRUE(server.client_closed());
}

TEST(OpenConnection, ADirectConnectionThatFailsNamesTheTarget) {
  const std::uint16_t closed = testkit::free_loopback_port();
  auto connection = open_connection(ServerUrl{"127.0.0.1", "/base", closed, true}, 8);
  ASSERT_FALSE(connection);
  EXPECT_EQ(format_fetch_error(connection.error()),
            fmt::format("cannot reach the training-data server at https://127.0.0.1:{}/base: could not reach "
                        "127.0.0.1:{} directly: {}",
                        closed, closed, platform::os_error_text(testkit::os_codes::connection_refused)));
}

TEST(OpenConnection, ARequestThatCannotConnectIsUnreachable) {
  const std::uint16_t closed = testkit::free_loopback_port();
  auto answer = send_request(ServerUrl{"127.0.0.1", "", closed, false}, "/setup", std::nullopt, always_continue());
  ASSERT_FALSE(answer);
  EXPECT_TRUE(answer.error().is<FetchError::Unreachable>()) << format_fetch_error(answer.error());
}

// What the child process does: open a connection (and for http send a GET)
// to the URL in MORVANE_CHILD_URL with the proxy of its environment, and
// print the outcome on one line.
TEST(ProxyChild, DISABLED_Run) {
  const auto text = platform::env_var("MORVANE_CHILD_URL");
  ASSERT_TRUE(text);
  const ServerUrl url = *parse_server_url(*text);
  std::string outcome;
  if (url.https) {
    auto connection = open_connection(url, 5);
    outcome = connection ? "connected" : format_fetch_error(connection.error());
  } else {
    auto bytes = get_bytes(url, "/f", std::nullopt, 5, always_continue());
    outcome = bytes ? "body: " + platform::to_string(*bytes) : format_fetch_error(bytes.error());
  }
  std::cout << "OUTCOME: " << outcome << "\n";
}

// Runs ProxyChild in a child process with HTTPS_PROXY set (every other proxy
// variable removed); its outcome line.
std::string run_child(const std::string& proxy, const std::string& url) {
  const auto exe = platform::current_exe();
  if (!exe) return "no exe: " + exe.error().text();
  testkit::ScopedEnv env[] = {{"https_proxy", std::nullopt},       {"ALL_PROXY", std::nullopt},
                              {"all_proxy", std::nullopt},         {"NO_PROXY", std::nullopt},
                              {"no_proxy", std::nullopt},          {"HTTPS_PROXY", proxy},
                              {"MORVANE_CHILD_URL", url}};
  auto run = platform::run_hidden(platform::display(*exe),
                                  {"--gtest_filter=ProxyChild.*", "--gtest_also_run_disabled_tests"});
  if (!run) return "child failed: " + run.error().text();
  const std::string out = platform::to_string(run->stdout_bytes);
  const auto at = out.find("OUTCOME: ");
  if (at == std::string::npos) return "no outcome in: " + out;
  std::string line = out.substr(at + 9, out.find('\n', at) - at - 9);
  if (line.ends_with('\r')) line.pop_back();  // a Windows program's text output
  return line;
}

TEST(OpenConnectionThroughAProxy, AProxyThatCannotBeReachedIsNotAnswering) {
  const std::uint16_t closed = testkit::free_loopback_port();
  EXPECT_EQ(run_child(fmt::format("http://127.0.0.1:{}", closed), "https://releases.example"),
            fmt::format("cannot reach the training-data server at https://releases.example:443: the proxy at "
                        "127.0.0.1:{} is not answering: {}",
                        closed, platform::os_error_text(testkit::os_codes::connection_refused)));
}

TEST(OpenConnectionThroughAProxy, AnHttpServerIsTunnelledWithConnect) {
  testkit::ScriptedServer proxy(testkit::Script()
                                    .read_until("\r\n\r\n")
                                    .send("HTTP/1.1 200 Connection established\r\n\r\n")
                                    .read_until("\r\n\r\n")
                                    .send("HTTP/1.1 200 OK\r\nContent-Length: 7\r\n\r\nthrough")
                                    .drain_until_closed());
  EXPECT_EQ(run_child(fmt::format("http://127.0.0.1:{}", proxy.port()), "http://origin.example"), "body: through");
  const std::string received = proxy.received();
  EXPECT_TRUE(received.starts_with("CONNECT origin.example:80 HTTP/1.1\r\n")) << received;
  EXPECT_NE(received.find("\r\n\r\nGET /f HTTP/1.1\r\nHost: origin.example\r\nConnection: close\r\n"),
            std::string::npos)
      << received;
}

TEST(OpenConnectionThroughAProxy, ABracketedAddressCannotBeATlsServerName) {
  testkit::ScriptedServer proxy(testkit::Script()
                                    .read_until("\r\n\r\n")
                                    .send("HTTP/1.1 200 Connection established\r\n\r\n")
                                    .drain_until_closed());
  EXPECT_EQ(run_child(fmt::format("http://127.0.0.1:{}", proxy.port()), "https://[2001:db8::1]:8443"),
            "bad server URL \"https://[2001:db8::1]:8443\": \"[2001:db8::1]\" cannot be a TLS server name: invalid "
            "dns name (expected http[s]://host[:port][/prefix])");
  const std::string received = proxy.received();
  EXPECT_TRUE(received.starts_with("CONNECT [2001:db8::1]:8443 HTTP/1.1\r\n")) << received;
  EXPECT_TRUE(received.ends_with("\r\n\r\n")) << "nothing may follow the CONNECT request";
  EXPECT_TRUE(proxy.client_closed());
}

}  // namespace
}  // namespace fetch
