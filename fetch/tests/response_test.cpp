// The response rules, against scripted servers that answer what real ones
// will not.
#include <chrono>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "fetch/http/request.hpp"
#include "fetch/http/response.hpp"
#include "fetch/tests/fetch_printers.hpp"
#include "testkit/scripted_server.hpp"
#include "testkit/os_codes.hpp"

namespace fetch {
namespace {

using namespace std::chrono_literals;

// What a request came back with, as one line of text.
std::string describe(const tl::expected<Response, FetchError>& answer) {
  if (!answer) return format_fetch_error(answer.error());
  if (const auto* body = answer->get<Response::Body>()) return "body: " + platform::to_string(body->body);
  if (const auto* redirect = answer->get<Response::Redirect>()) {
    return fmt::format("redirect {} to {}", redirect->status, redirect->location);
  }
  return "not modified";
}

std::string describe(const tl::expected<platform::Bytes, FetchError>& bytes) {
  return bytes ? "body: " + platform::to_string(*bytes) : format_fetch_error(bytes.error());
}

enum class Ask { Get, GetRange, Post, GetWithoutRedirect, SendGet };

// Plays the pieces (with a pause between them, so that they arrive in
// separate reads) after the request head, then closes.
std::string exchange(Ask ask, const std::vector<std::string>& pieces, const ProgressFn& progress = always_continue()) {
  testkit::Script script;
  script.read_until("\r\n\r\n");
  for (std::size_t i = 0; i < pieces.size(); ++i) {
    if (i > 0) script.pause(100ms);
    script.send(pieces[i]);
  }
  testkit::ScriptedServer server(std::move(script));
  const ServerUrl url{"127.0.0.1", "/base", server.port(), false};
  const std::string body = "{}";
  switch (ask) {
    case Ask::Get: return describe(get_bytes(url, "/f", std::nullopt, 5, progress));
    case Ask::GetRange: return describe(get_bytes(url, "/f", ByteRange{0, 1, 10}, 5, progress));
    case Ask::Post:
      return describe(send_request(url, "/f", RequestBody{"application/json", platform::byte_view(body)}, progress));
    case Ask::GetWithoutRedirect: return describe(get_without_redirect(url, "/f", progress));
    case Ask::SendGet: return describe(send_request(url, "/f", std::nullopt, progress));
  }
  return {};
}

std::string malformed(const std::string& reason) {
  return "malformed HTTP response from the training-data server for /base/f: " + reason;
}
std::string status(int code, const std::string& message) {
  return fmt::format("the training-data server answered HTTP {} for /base/f: {}", code, message);
}

struct Case {
  const char* what;
  Ask ask;
  std::vector<std::string> pieces;
  std::string result;
};

void run_cases(const std::vector<Case>& cases) {
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(exchange(c.ask, c.pieces), c.result);
  }
}

// A head of exactly `size` bytes, without its end, for a two-byte body.
std::string head_of_size(std::size_t size) {
  std::string head = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nX-Pad: ";
  head.append(size - head.size(), 'p');
  return head;
}

TEST(ReadResponse, FindsTheHeadWhereverItEnds) {
  run_cases({
      {"the head's end split across reads", Ask::Get, {"HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r", "\nok"},
       "body: ok"},
      {"65,536 bytes without the end are read further", Ask::Get, {head_of_size(65536), "\r\n\r\nok"}, "body: ok"},
      {"65,537 bytes without the end are too many", Ask::Get, {head_of_size(65537), "\r\n\r\nok"},
       malformed("headers exceed 64 KiB")},
      {"the stream ends inside the head", Ask::Get, {"HTTP/1.1 200 OK\r\nContent-Length: 2\r\n"},
       malformed("connection closed before the headers ended")},
      {"nothing at all", Ask::Get, {}, malformed("connection closed before the headers ended")},
  });
}

TEST(ReadResponse, ReadsTheStatusLine) {
  run_cases({
      {"no reason phrase", Ask::Get, {"HTTP/1.1 200\r\nContent-Length: 2\r\n\r\nok"}, "body: ok"},
      {"a plus sign", Ask::Get, {"HTTP/1.1 +200 OK\r\nContent-Length: 2\r\n\r\nok"}, "body: ok"},
      {"a status that is no number", Ask::Get, {"HTTP/1.1 abc OK\r\n\r\n"},
       malformed("unparseable status line \"HTTP/1.1 abc OK\"")},
      {"a status past 65535", Ask::Get, {"HTTP/1.1 65736 OK\r\n\r\n"},
       malformed("unparseable status line \"HTTP/1.1 65736 OK\"")},
      {"one token only", Ask::Get, {"garbage\t\r\nContent-Length: 0\r\n\r\n"},
       malformed("unparseable status line \"garbage\\t\"")},
      {"a head that is not UTF-8", Ask::Get, {"HTTP/1.1 200 OK\r\nX-Name: \xff\r\nContent-Length: 0\r\n\r\n"},
       malformed("headers are not UTF-8")},
  });
}

TEST(ReadResponse, AcceptsOnlyTheStatusTheRequestExpects) {
  run_cases({
      {"200 to a ranged request", Ask::GetRange, {"HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\n0123456789"},
       status(200, "0123456789")},
      {"206 to a request without a range", Ask::Get,
       {"HTTP/1.1 206 Partial Content\r\nContent-Range: bytes 0-1/10\r\nContent-Length: 2\r\n\r\n01"},
       status(206, "01")},
      {"201 to a POST", Ask::Post, {"HTTP/1.1 201 Created\r\nContent-Length: 4\r\n\r\ndone"}, "body: done"},
      {"201 to a GET", Ask::SendGet, {"HTTP/1.1 201 Created\r\nContent-Length: 4\r\n\r\ndone"}, status(201, "done")},
      {"200 to a POST", Ask::Post, {"HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok"}, "body: ok"},
      {"500 with a long body", Ask::SendGet,
       {"HTTP/1.1 500 Oops\r\nContent-Length: 300\r\n\r\n" + std::string(300, 'x')}, status(500, std::string(200, 'x'))},
      {"503 with a body that is not UTF-8", Ask::SendGet, {"HTTP/1.1 503 Busy\r\n\r\nbusy \xff\xfe"},
       status(503, "busy \xEF\xBF\xBD\xEF\xBF\xBD")},
      {"503 whose body has not come yet", Ask::SendGet, {"HTTP/1.1 503 Busy\r\nContent-Length: 4\r\n\r\n", "busy"},
       status(503, "")},
      {"404 to a ranged request", Ask::GetRange, {"HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n"},
       "the training-data server has no /base/f (HTTP 404) — the span may reach past the published snapshot, or the "
       "server's lake is a different snapshot than this cache"},
  });
}

TEST(ReadResponse, NeverFollowsARedirect) {
  const std::string found = "HTTP/1.1 302 Found\r\nLocation: https://elsewhere/f\r\nContent-Length: 0\r\n\r\n";
  run_cases({
      {"302 with Location to send_request", Ask::SendGet, {found}, "redirect 302 to https://elsewhere/f"},
      {"302 with Location to get_without_redirect", Ask::GetWithoutRedirect, {found},
       status(302, "a redirect to https://elsewhere/f, which this client does not follow — the one exception is a "
                   "single https→https hop on an asset download")},
      {"302 with Location to get_bytes", Ask::Get, {found},
       status(302, "a redirect to https://elsewhere/f, which a release download does not follow")},
      {"302 without Location", Ask::SendGet, {"HTTP/1.1 302 Found\r\nContent-Length: 5\r\n\r\nmoved"},
       status(302, "moved")},
      {"300 is no redirect", Ask::SendGet, {"HTTP/1.1 300 Choices\r\nLocation: /x\r\n\r\n"}, status(300, "")},
      {"308 with Location", Ask::SendGet, {"HTTP/1.1 308 Moved\r\nlocation:  /x \r\n\r\n"}, "redirect 308 to /x"},
      {"304 to send_request", Ask::SendGet, {"HTTP/1.1 304 Not Modified\r\n\r\n"}, "not modified"},
      {"304 to get_bytes", Ask::Get, {"HTTP/1.1 304 Not Modified\r\n\r\n"},
       malformed("the server answered 304 Not Modified to a request that carried no validator — there was nothing "
                 "for it to compare against")},
  });
}

TEST(ReadResponse, ChecksTheContentRangeOfARangedAnswer) {
  run_cases({
      {"the span asked for", Ask::GetRange,
       {"HTTP/1.1 206 Partial Content\r\nContent-Range: bytes 0-1/10\r\nContent-Length: 2\r\n\r\n01"}, "body: 01"},
      {"no Content-Range", Ask::GetRange, {"HTTP/1.1 206 Partial Content\r\nContent-Length: 2\r\n\r\n01"},
       malformed("asked for bytes 0-1/10, answered None")},
      {"another total", Ask::GetRange,
       {"HTTP/1.1 206 Partial Content\r\nContent-Range: bytes 0-1/11\r\nContent-Length: 2\r\n\r\n01"},
       malformed("asked for bytes 0-1/10, answered Some(\"bytes 0-1/11\")")},
      {"an unknown total", Ask::GetRange,
       {"HTTP/1.1 206 Partial Content\r\nContent-Range: bytes 0-1/*\r\nContent-Length: 2\r\n\r\n01"},
       malformed("asked for bytes 0-1/10, answered Some(\"bytes 0-1/*\")")},
  });
}

TEST(ReadResponse, ReadsTheBodyByItsContentLength) {
  const std::string ok = "HTTP/1.1 200 OK\r\n";
  run_cases({
      {"Transfer-Encoding gzip is ignored", Ask::Get, {ok + "Transfer-Encoding: gzip\r\nContent-Length: 2\r\n\r\nok"},
       "body: ok"},
      {"Transfer-Encoding Chunked", Ask::Get, {ok + "Transfer-Encoding: Chunked\r\nContent-Length: 2\r\n\r\nok"},
       malformed("Transfer-Encoding: chunked is not supported by this client")},
      {"a later encoding does not clear chunked", Ask::Get,
       {ok + "transfer-encoding: chunked\r\nTransfer-Encoding: gzip\r\n\r\n2\r\nok\r\n0\r\n\r\n"},
       malformed("Transfer-Encoding: chunked is not supported by this client")},
      {"the later of two Content-Lengths counts", Ask::Get,
       {ok + "Content-Length: 5\r\nCONTENT-LENGTH : +2\r\n\r\nokay!"}, "body: ok"},
      {"an unreadable Content-Length fails though a good one follows", Ask::Get,
       {ok + "Content-Length: x\r\nContent-Length: 2\r\n\r\nok"}, malformed("bad Content-Length \"x\"")},
      {"a Content-Length past 64 bits", Ask::Get, {ok + "Content-Length: 18446744073709551616\r\n\r\n"},
       malformed("bad Content-Length \"18446744073709551616\"")},
      {"no Content-Length", Ask::Get, {ok + "\r\nok"}, malformed("no Content-Length on a 200 response")},
      {"no Content-Length on a 206", Ask::GetRange,
       {"HTTP/1.1 206 Partial Content\r\nContent-Range: bytes 0-1/10\r\n\r\n01"},
       malformed("no Content-Length on a 200 response")},
      {"surplus bytes with the head are dropped", Ask::Get, {ok + "Content-Length: 2\r\n\r\nokEXTRA"}, "body: ok"},
      {"surplus bytes of a later read are dropped", Ask::Get, {ok + "Content-Length: 2\r\n\r\no", "kEXTRA"},
       "body: ok"},
      {"the stream ends inside the body", Ask::Get, {ok + "Content-Length: 5\r\n\r\no", "k"},
       malformed("connection closed at 2 of 5 body bytes")},
      {"a length no server could send is not reserved up front", Ask::Get,
       {ok + "Content-Length: 9223372036854775807\r\n\r\nabc"},
       malformed("connection closed at 3 of 9223372036854775807 body bytes")},
  });
}

TEST(ReadResponse, ReportsProgressBeforeTheBodyAndAfterEveryRead) {
  std::vector<std::pair<std::uint64_t, std::uint64_t>> calls;
  const ProgressFn record = [&](std::uint64_t done, std::uint64_t total) {
    calls.emplace_back(done, total);
    return true;
  };
  EXPECT_EQ(exchange(Ask::Get, {"HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n"}, record), "body: ");
  EXPECT_EQ(calls, (std::vector<std::pair<std::uint64_t, std::uint64_t>>{{0, 0}}));

  calls.clear();
  EXPECT_EQ(exchange(Ask::Get, {"HTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\no", "kEXTRA"}, record), "body: okE");
  EXPECT_EQ(calls, (std::vector<std::pair<std::uint64_t, std::uint64_t>>{{1, 3}, {3, 3}}));
}

// A body past the room set aside up front: read in pieces straight into a
// buffer that grows on the way, it must come out byte for byte, each read
// reported as it lands.
TEST(ReadResponse, ABodyPastTheUpFrontReserveArrivesWhole) {
  std::string file(2 * body_reserve_limit + 12345, '\0');
  for (std::size_t i = 0; i < file.size(); ++i) file[i] = static_cast<char>((i * 131 + i / 4099) % 256);
  testkit::Script script;
  script.read_until("\r\n\r\n").send(fmt::format("HTTP/1.1 200 OK\r\nContent-Length: {}\r\n\r\n", file.size()));
  // Pieces that end off the fill steps' and the reserve's bounds.
  for (std::size_t at = 0; at < file.size(); at += 3 * body_reserve_limit / 4) {
    script.pause(20ms).send(file.substr(at, 3 * body_reserve_limit / 4));
  }
  script.send("SURPLUS");
  testkit::ScriptedServer server(std::move(script));

  std::vector<std::uint64_t> done;
  const ProgressFn record = [&](std::uint64_t so_far, std::uint64_t total) {
    EXPECT_EQ(total, file.size());
    done.push_back(so_far);
    return true;
  };
  auto bytes = get_bytes(ServerUrl{"127.0.0.1", "", server.port(), false}, "/f", std::nullopt, 5, record);
  ASSERT_TRUE(bytes) << format_fetch_error(bytes.error());
  EXPECT_TRUE(platform::to_string(*bytes) == file);
  ASSERT_GE(done.size(), 2u);
  EXPECT_EQ(done.front(), 0u);
  EXPECT_EQ(done.back(), file.size());
  for (std::size_t i = 1; i < done.size(); ++i) ASSERT_GT(done[i], done[i - 1]) << "report " << i;
}

TEST(ReadResponse, StopsWhenTheProgressCallbackSaysSo) {
  const std::string cancelled =
      "the download was cancelled — nothing partial was installed, and everything already downloaded is verified "
      "and kept";
  int calls = 0;
  const ProgressFn stop_at_once = [&](std::uint64_t, std::uint64_t) { return ++calls < 1; };
  EXPECT_EQ(exchange(Ask::Get, {"HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok"}, stop_at_once), cancelled);
  calls = 0;
  const ProgressFn stop_later = [&](std::uint64_t, std::uint64_t) { return ++calls < 2; };
  EXPECT_EQ(exchange(Ask::Get, {"HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\n", "ok"}, stop_later), cancelled);
}

TEST(ReadResponse, AReceiveTimeOutIsAReadFailure) {
  testkit::ScriptedServer server(testkit::Script().read_until("\r\n\r\n").pause(1500ms));
  const ServerUrl url{"127.0.0.1", "", server.port(), false};
  EXPECT_EQ(describe(get_bytes(url, "/slow", std::nullopt, 1, always_continue())),
            "malformed HTTP response from the training-data server for /slow: read failed: " +
                platform::os_error_text(testkit::os_codes::timed_out));
}

TEST(RequestHead, IsExactlyTheseBytes) {
  struct Case {
    const char* what;
    std::function<void(const ServerUrl&)> request;
    std::string head;
  };
  const std::string body = "{\"k\":\"installed\"}";
  const std::string agent = "User-Agent: morvane-fetch morvane/0.1.0+untracked\r\n";
  const Case cases[] = {
      {"get_bytes without a range",
       [](const ServerUrl& url) { (void)get_bytes(url, "/file.bin", std::nullopt, 5, always_continue()); },
       "GET /api/site/file.bin HTTP/1.1\r\nHost: localhost\r\nConnection: close\r\n" + agent + "\r\n"},
      {"get_bytes with a range",
       [](const ServerUrl& url) { (void)get_bytes(url, "/file.bin", ByteRange{32768, 65535, 70000}, 5, always_continue()); },
       "GET /api/site/file.bin HTTP/1.1\r\nHost: localhost\r\nConnection: close\r\n" + agent +
           "Range: bytes=32768-65535\r\n\r\n"},
      {"send_request with a body",
       [&](const ServerUrl& url) {
         (void)send_request(url, "/setup", RequestBody{"application/json", platform::byte_view(body)},
                            always_continue());
       },
       "POST /api/site/setup HTTP/1.1\r\nHost: localhost\r\nConnection: close\r\n" + agent +
           "Content-Type: application/json\r\nContent-Length: 17\r\n\r\n" + body},
      {"get_without_redirect",
       [](const ServerUrl& url) { (void)get_without_redirect(url, "/release.json", always_continue()); },
       "GET /api/site/release.json HTTP/1.1\r\nHost: localhost\r\nConnection: close\r\n" + agent + "\r\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    testkit::ScriptedServer server(
        testkit::Script().read(c.head.size()).send("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n").drain_until_closed());
    c.request(*parse_server_url(fmt::format("http://localhost:{}/api/site/", server.port())));
    EXPECT_EQ(server.received(), c.head);
    EXPECT_TRUE(server.client_closed());
  }
}

TEST(RequestHead, NamesTheClient) {
  EXPECT_EQ(client_version(), "0.1.0+untracked");
  EXPECT_EQ(&client_version(), &client_version());
  EXPECT_EQ(user_agent(), "morvane-fetch morvane/0.1.0+untracked");
}

}  // namespace
}  // namespace fetch
