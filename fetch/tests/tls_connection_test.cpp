// TLS against real peers: nginx with the test PKI, openssl s_server for the
// refusals, and servers of the test's own for what those will not do.
#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <fmt/format.h>
#include <openssl/ssl.h>

#include "fetch/http/connection.hpp"
#include "fetch/http/open_connection.hpp"
#include "fetch/http/request.hpp"
#include "fetch/http/response.hpp"
#include "fetch/tests/fetch_printers.hpp"
#include "fetch/tests/nginx_peer.hpp"
#include "fetch/tests/server_credentials.hpp"
#include "testkit/loopback.hpp"
#include "testkit/os_codes.hpp"
#include "testkit/scripted_server.hpp"
#include "testkit/server_process.hpp"
#include "testkit/tls_peer.hpp"

namespace fetch {
namespace {

using fetch_test::NginxPeer;
using fetch_test::server_credentials;
using testkit::TlsAnswer;
using testkit::TlsPeer;

const std::string timed_out = platform::os_error_text(testkit::os_codes::timed_out);

ServerUrl https_url(const std::string& host, std::uint16_t port) { return ServerUrl{host, "", port, true}; }

std::string text_of(const tl::expected<platform::Bytes, FetchError>& result) {
  return result ? "bytes: " + platform::to_string(*result) : format_fetch_error(result.error());
}

class NginxTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    ASSERT_EQ(testkit::missing_program("nginx", "nginx-light"), "");
    nginx_ = std::make_unique<NginxPeer>();
  }
  static void TearDownTestSuite() { nginx_.reset(); }
  static std::unique_ptr<NginxPeer> nginx_;
};
std::unique_ptr<NginxPeer> NginxTest::nginx_;

TEST_F(NginxTest, ServesWholeFilesRangesAndMissingFiles) {
  std::string file(100000, '\0');
  for (std::size_t i = 0; i < file.size(); ++i) file[i] = static_cast<char>(i * 7 % 251);
  nginx_->put("files/data.bin", file);
  const ServerUrl url = nginx_->url();

  auto whole = get_bytes(url, "/files/data.bin", std::nullopt, 8, always_continue());
  ASSERT_TRUE(whole) << format_fetch_error(whole.error());
  EXPECT_EQ(platform::to_string(*whole), file);

  auto range = get_bytes(url, "/files/data.bin", ByteRange{32768, 65535, 100000}, 15, always_continue());
  ASSERT_TRUE(range) << format_fetch_error(range.error());
  EXPECT_EQ(platform::to_string(*range), file.substr(32768, 32768));

  auto missing = get_bytes(url, "/files/none.bin", std::nullopt, 8, always_continue());
  ASSERT_FALSE(missing);
  EXPECT_EQ(missing.error(), (FetchError{FetchError::NotFound{"/files/none.bin"}}));
  EXPECT_EQ(format_fetch_error(missing.error()),
            "the training-data server has no /files/none.bin (HTTP 404) — the span may reach past the published "
            "snapshot, or the server's lake is a different snapshot than this cache");
}

// Over TLS the body comes a record at a time, straight into a buffer that
// outgrows the room set aside up front.
TEST_F(NginxTest, AWholeFilePastTheUpFrontReserveArrivesIntact) {
  std::string file(2 * body_reserve_limit + 12345, '\0');
  for (std::size_t i = 0; i < file.size(); ++i) file[i] = static_cast<char>((i * 131 + i / 4099) % 256);
  nginx_->put("files/large.bin", file);

  std::vector<std::uint64_t> done;
  const ProgressFn record = [&](std::uint64_t so_far, std::uint64_t total) {
    EXPECT_EQ(total, file.size());
    done.push_back(so_far);
    return true;
  };
  auto whole = get_bytes(nginx_->url(), "/files/large.bin", std::nullopt, 8, record);
  ASSERT_TRUE(whole) << format_fetch_error(whole.error());
  EXPECT_TRUE(platform::to_string(*whole) == file);
  ASSERT_GE(done.size(), 2u);
  EXPECT_EQ(done.back(), file.size());
  for (std::size_t i = 1; i < done.size(); ++i) ASSERT_GT(done[i], done[i - 1]) << "report " << i;
}

TEST_F(NginxTest, KeepsTheValidatorsOfAnAnswer) {
  nginx_->put("release.json", "{}");
  auto answer = get_without_redirect(nginx_->url(), "/release.json", always_continue());
  ASSERT_TRUE(answer) << format_fetch_error(answer.error());
  const auto* body = answer->get<Response::Body>();
  ASSERT_NE(body, nullptr);
  EXPECT_EQ(platform::to_string(body->body), "{}");
  ASSERT_TRUE(body->etag.has_value());
  EXPECT_TRUE(body->etag->starts_with("\""));
  ASSERT_TRUE(body->last_modified.has_value());
  EXPECT_TRUE(body->last_modified->ends_with(" GMT"));
}

TEST_F(NginxTest, AnAddressLiteralIsVerifiedAgainstTheCertificatesAddresses) {
  nginx_->put("ip.txt", "by address");
  auto bytes = get_bytes(https_url("127.0.0.1", nginx_->port()), "/ip.txt", std::nullopt, 8, always_continue());
  EXPECT_EQ(text_of(bytes), "bytes: by address");
}

TEST_F(NginxTest, ASecondConnectionToTheSameServerResumesTheSession) {
  nginx_->put("resume.txt", "again");
  const ServerUrl url = nginx_->url();
  // The first exchange reads the answer, and with it the session tickets.
  ASSERT_EQ(text_of(get_bytes(url, "/resume.txt", std::nullopt, 8, always_continue())), "bytes: again");

  auto second = open_connection(url, 8);
  ASSERT_TRUE(second) << format_fetch_error(second.error());
  EXPECT_TRUE(connection_resumed_session(*second));
  const std::string head = request_head(url, "/resume.txt", std::nullopt, std::nullopt);
  ASSERT_TRUE(connection_write_all(*second, platform::byte_view(head)));
  auto answer = read_response(*second, "/resume.txt", std::nullopt, false, always_continue());
  ASSERT_TRUE(answer) << format_fetch_error(answer.error());
  EXPECT_EQ(platform::to_string(answer->get<Response::Body>()->body), "again");
  connection_close(*second);
}

TEST_F(NginxTest, ManyThreadsOpenTheirFirstConnectionsAtOnce) {
  nginx_->put("many.txt", "same");
  std::vector<std::string> results(8);
  std::vector<std::thread> threads;
  for (auto& result : results) {
    threads.emplace_back([&result] {
      result = text_of(get_bytes(nginx_->url(), "/many.txt", std::nullopt, 8, always_continue()));
    });
  }
  for (auto& thread : threads) thread.join();
  for (const auto& result : results) EXPECT_EQ(result, "bytes: same");
}

// openssl s_server with the given credentials and options.
std::unique_ptr<testkit::ServerProcess> s_server(const fetch_test::ServerCredentials& credentials,
                                                 std::vector<std::string> options, std::uint16_t port) {
  std::vector<std::string> args = {"s_server", "-quiet", "-accept", "127.0.0.1:" + std::to_string(port),
                                   "-cert", fetch_test::tool_file(credentials.chain),
                                   "-cert_chain", fetch_test::tool_file(credentials.chain),
                                   "-key", fetch_test::tool_file(credentials.key)};
  args.insert(args.end(), options.begin(), options.end());
  return std::make_unique<testkit::ServerProcess>("openssl", args, port);
}

TEST(TlsRefusal, ServersThatCannotBeTrustedAreRefusedWithTheLibrarysReason) {
  struct Case {
    const char* what;
    const char* credentials;
    std::vector<std::string> options;
    const char* reason;
  };
  const Case cases[] = {
      {"TLS 1.1 only", "localhost", {"-tls1_1", "-cipher", "DEFAULT@SECLEVEL=0"},
       "tlsv1 alert protocol version (SSL alert number 70)"},
      {"a root no build trusts", "untrusted", {},
       "certificate verify failed: self-signed certificate in certificate chain"},
      {"a certificate for another name", "wrong-name", {}, "certificate verify failed: hostname mismatch"},
      {"an expired certificate", "expired", {}, "certificate verify failed: certificate has expired"},
      {"a chain whose root has expired", "under-expired-root", {}, "certificate verify failed: certificate has expired"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::uint16_t port = testkit::free_loopback_port();
    auto server = s_server(server_credentials(c.credentials), c.options, port);
    auto connection = open_connection(https_url("localhost", port), 8);
    ASSERT_FALSE(connection);
    EXPECT_EQ(connection.error(), tls_refused_error_at("https://localhost:" + std::to_string(port), c.reason));
  }
}

TEST(TlsRefusal, TheSentenceSaysNothingWasFetched) {
  const std::uint16_t port = testkit::free_loopback_port();
  auto server = s_server(server_credentials("wrong-name"), {}, port);
  auto bytes = get_bytes(https_url("localhost", port), "/f", std::nullopt, 8, always_continue());
  ASSERT_FALSE(bytes);
  EXPECT_EQ(format_fetch_error(bytes.error()),
            "TLS refused the connection to https://localhost:" + std::to_string(port) +
                ": certificate verify failed: hostname mismatch — the certificate was not acceptable, and nothing "
                "was fetched. There is no option to continue anyway; a client that ignored this would be a client "
                "with no TLS at all.");
}

TEST(TlsRefusal, NothingIsSentToAServerWhoseCertificateFails) {
  TlsPeer peer(server_credentials("untrusted"), [](const std::string&) { return TlsAnswer{"HTTP/1.1 200 OK\r\n\r\n"}; });
  auto bytes = get_bytes(https_url("localhost", peer.port()), "/f", std::nullopt, 8, always_continue());
  ASSERT_FALSE(bytes);
  EXPECT_TRUE(bytes.error().is<FetchError::TlsRefused>()) << format_fetch_error(bytes.error());
  EXPECT_TRUE(peer.heads().empty() || peer.heads().front().empty());
}

TEST(TlsRefusal, AServerThatNeverAnswersTheHelloRunsIntoTheReceiveTimeOut) {
  // The server hangs up only after a minute (or when the test ends it).
  testkit::ScriptedServer server(testkit::Script().read(5).pause(std::chrono::seconds(60)));
  const auto started = std::chrono::steady_clock::now();
  auto connection = open_connection(https_url("localhost", server.port()), 1);
  const auto took = std::chrono::steady_clock::now() - started;
  ASSERT_FALSE(connection);
  EXPECT_EQ(connection.error(), tls_refused_error_at("https://localhost:" + std::to_string(server.port()), timed_out));
  EXPECT_GE(took, std::chrono::milliseconds(900));
  EXPECT_LT(took, std::chrono::seconds(30));
}

TEST(TlsServerNameRefusal, AHostThatConnectsButIsNoServerNameIsABadUrl) {
  // getaddrinfo reads 127.1 as 127.0.0.1, but it is neither a DNS name nor a
  // dotted-decimal address.
  testkit::ScriptedServer server(testkit::Script().drain_until_closed());
  auto connection = open_connection(https_url("127.1", server.port()), 5);
  ASSERT_FALSE(connection);
  EXPECT_EQ(connection.error(), bad_url_error("https://127.1:" + std::to_string(server.port()),
                                              "\"127.1\" cannot be a TLS server name: invalid dns name"));
  EXPECT_TRUE(server.client_closed());
  EXPECT_EQ(server.received(), "");
}

// The ClientHello as the first TLS record carries it.
struct ClientHello {
  std::vector<std::uint16_t> suites;
  std::vector<std::uint16_t> extensions;
  std::vector<std::uint16_t> groups;
  std::vector<std::uint16_t> signature_algorithms;
  std::vector<std::uint16_t> versions;
  std::string server_name;
};

std::uint16_t u16(const std::string& b, std::size_t at) {
  return static_cast<std::uint16_t>((static_cast<std::uint8_t>(b[at]) << 8) | static_cast<std::uint8_t>(b[at + 1]));
}

std::vector<std::uint16_t> u16_list(const std::string& b, std::size_t at, std::size_t bytes) {
  std::vector<std::uint16_t> list;
  for (std::size_t i = 0; i + 1 < bytes; i += 2) list.push_back(u16(b, at + i));
  return list;
}

ClientHello parse_client_hello(const std::string& record) {
  ClientHello hello;
  EXPECT_EQ(static_cast<std::uint8_t>(record.at(0)), 0x16);  // handshake
  EXPECT_EQ(static_cast<std::uint8_t>(record.at(5)), 0x01);  // client_hello
  std::size_t at = 5 + 4 + 2 + 32;                            // header, version, random
  at += 1 + static_cast<std::uint8_t>(record.at(at));         // session id
  const std::size_t suites = u16(record, at);
  hello.suites = u16_list(record, at + 2, suites);
  at += 2 + suites;
  at += 1 + static_cast<std::uint8_t>(record.at(at));  // compression methods
  const std::size_t end = at + 2 + u16(record, at);
  at += 2;
  while (at + 4 <= end) {
    const std::uint16_t type = u16(record, at);
    const std::size_t length = u16(record, at + 2);
    const std::size_t body = at + 4;
    hello.extensions.push_back(type);
    if (type == 0x000a) hello.groups = u16_list(record, body + 2, u16(record, body));
    if (type == 0x000d) hello.signature_algorithms = u16_list(record, body + 2, u16(record, body));
    if (type == 0x002b) hello.versions = u16_list(record, body + 1, static_cast<std::uint8_t>(record.at(body)));
    if (type == 0x0000) hello.server_name = record.substr(body + 5, u16(record, body + 3));
    at = body + length;
  }
  return hello;
}

// Connects to a listener that keeps the first TLS record and hangs up; the
// handshake then ends in the TLS library's unexpected-end error.
std::string capture_client_hello(const std::string& host) {
  testkit::LoopbackListener listener;
  std::string record;
  std::thread server([&] {
    platform::Socket socket = listener.accept();
    (void)socket.set_receive_timeout(std::chrono::seconds(5));
    std::array<std::uint8_t, 4096> buffer;
    while (record.size() < 5 || record.size() < 5 + std::size_t{u16(record, 3)}) {
      auto got = socket.receive(buffer);
      if (!got || *got == 0) break;
      record.append(reinterpret_cast<const char*>(buffer.data()), *got);
    }
  });
  auto connection = open_connection(https_url(host, listener.port()), 5);
  server.join();
  EXPECT_FALSE(connection);
  if (!connection) {
    EXPECT_EQ(connection.error(), tls_refused_error_at(fmt::format("https://{}:{}", host, listener.port()),
                                                       "unexpected eof while reading"));
  }
  return record;
}

TEST(ClientHello, OffersTheSuitesGroupsAndSignatureAlgorithmsInOrderAndNoAlpn) {
  const ClientHello hello = parse_client_hello(capture_client_hello("localhost"));
  EXPECT_EQ(hello.suites, (std::vector<std::uint16_t>{0x1302, 0x1301, 0x1303, 0xc02c, 0xc02b, 0xcca9, 0xc030, 0xc02f,
                                                      0xcca8, 0x00ff}));
  EXPECT_EQ(hello.groups, (std::vector<std::uint16_t>{0x001d, 0x0017, 0x0018}));
  EXPECT_EQ(hello.signature_algorithms, (std::vector<std::uint16_t>{0x0503, 0x0403, 0x0807, 0x0806, 0x0805, 0x0804,
                                                                    0x0601, 0x0501, 0x0401}));
  EXPECT_EQ(hello.versions, (std::vector<std::uint16_t>{0x0304, 0x0303}));
  EXPECT_EQ(hello.server_name, "localhost");
  const auto has = [&](std::uint16_t type) {
    return std::find(hello.extensions.begin(), hello.extensions.end(), type) != hello.extensions.end();
  };
  EXPECT_FALSE(has(0x0010)) << "ALPN";
  EXPECT_FALSE(has(0x0016)) << "encrypt_then_mac";
  EXPECT_FALSE(has(0x0005)) << "status_request";
}

TEST(ClientHello, CarriesNoServerNameForAnAddress) {
  const ClientHello hello = parse_client_hello(capture_client_hello("127.0.0.1"));
  EXPECT_EQ(std::find(hello.extensions.begin(), hello.extensions.end(), 0x0000), hello.extensions.end());
  EXPECT_EQ(hello.groups, (std::vector<std::uint16_t>{0x001d, 0x0017, 0x0018}));
}

TEST(TlsReading, TheEndOfTheBodyAndOfTheSession) {
  // The answer's body after the head, and how the session ends.
  struct Case {
    const char* what;
    const char* body;
    bool close_notify;
    std::chrono::milliseconds delay;
    std::string result;
  };
  const std::string head = "HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\n";
  const Case cases[] = {
      {"closed without close_notify before the body ended", "abc", false, {},
       "malformed HTTP response from the training-data server for /f: read failed: unexpected eof while reading"},
      {"closed with close_notify before the body ended", "abc", true, {},
       "malformed HTTP response from the training-data server for /f: connection closed at 3 of 10 body bytes"},
      {"closed without close_notify after the last byte", "0123456789", false, {}, "bytes: 0123456789"},
      {"slower than the receive time-out", "0123456789", true, std::chrono::milliseconds(2500),
       std::string("malformed HTTP response from the training-data server for /f: read failed: ") + timed_out},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const TlsAnswer answer{head + c.body, c.close_notify, c.delay};
    TlsPeer peer(server_credentials("localhost"), [&](const std::string&) { return answer; });
    EXPECT_EQ(text_of(get_bytes(https_url("localhost", peer.port()), "/f", std::nullopt, 1, always_continue())),
              c.result);
  }
}

}  // namespace
}  // namespace fetch
