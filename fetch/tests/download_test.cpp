// The whole-file download and its ranged fallback, against servers of the
// test's own (which count connections and answer each range as told) and
// against nginx.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "fetch/http/download.hpp"
#include "fetch/http/request.hpp"
#include "fetch/tests/fetch_printers.hpp"
#include "fetch/tests/nginx_peer.hpp"
#include "testkit/http_server.hpp"
#include "testkit/loopback.hpp"

namespace fetch {
namespace {

using namespace std::chrono_literals;
using testkit::HttpServer;
using testkit::Reply;
using testkit::requested_range;
namespace reply = testkit::reply;

std::string file_of(std::size_t size) {
  std::string file(size, '\0');
  for (std::size_t i = 0; i < size; ++i) file[i] = static_cast<char>((i * 31 + i / 7) % 256);
  return file;
}

// Timing whose sleeps are only written down.
struct RecordedSleeps {
  std::mutex mutex;
  std::vector<std::chrono::milliseconds> sleeps;
  DownloadTiming timing() {
    DownloadTiming timing = default_download_timing();
    timing.sleep = [this](std::chrono::milliseconds time, const std::atomic<bool>&) {
      std::lock_guard lock(mutex);
      sleeps.push_back(time);
    };
    return timing;
  }
};

ServerUrl plain_url(std::uint16_t port) { return ServerUrl{"127.0.0.1", "", port, false}; }

std::size_t ranged_requests(HttpServer& server) {
  const auto heads = server.heads();
  return static_cast<std::size_t>(std::count_if(heads.begin(), heads.end(), [](const std::string& head) {
    return head.find("\r\nRange: ") != std::string::npos;
  }));
}

// The first try is answered by hanging up (a broken answer); every range by
// the file's span, after `delay`, so that the threads' connections overlap.
std::unique_ptr<HttpServer> ranges_only(const std::string& file, std::chrono::milliseconds delay) {
  return std::make_unique<HttpServer>([file, delay](const std::string& head) {
    const auto range = requested_range(head);
    if (!range) return reply::hang_up();
    return reply::delayed(reply::partial(file, range->first, range->last), delay);
  });
}

TEST(DownloadWithFallback, SplitsTheFileIntoRangesOnUpToSixteenThreads) {
  struct Case {
    std::size_t total;
    std::size_t ranges;
    int threads;
  };
  for (const Case c : {Case{32768, 1, 1}, Case{32769, 2, 2}, Case{1000000, 31, 16}}) {
    SCOPED_TRACE(c.total);
    const std::string file = file_of(c.total);
    auto server = ranges_only(file, 150ms);
    RecordedSleeps sleeps;
    auto bytes = download_with_fallback(plain_url(server->port()), "/f", c.total, always_continue(), sleeps.timing());
    ASSERT_TRUE(bytes) << format_fetch_error(bytes.error());
    EXPECT_TRUE(platform::to_string(*bytes) == file);
    EXPECT_EQ(ranged_requests(*server), c.ranges);
    EXPECT_EQ(server->peak_connections(), c.threads);
    EXPECT_TRUE(sleeps.sleeps.empty());
    if (c.total == 32769) {
      const auto heads = server->heads();
      EXPECT_EQ(std::count_if(heads.begin(), heads.end(),
                              [](const std::string& h) { return h.find("\r\nRange: bytes=32768-32768\r\n") != h.npos; }),
                1);
    }
  }
}

TEST(DownloadWithFallback, ReportsCompletedRangesAndEndsWithTheTotal) {
  const std::string file = file_of(300000);
  auto server = ranges_only(file, 60ms);
  std::vector<std::pair<std::uint64_t, std::uint64_t>> calls;
  const ProgressFn record = [&](std::uint64_t done, std::uint64_t total) {
    calls.emplace_back(done, total);
    return true;
  };
  auto bytes = download_with_fallback(plain_url(server->port()), "/f", file.size(), record);
  ASSERT_TRUE(bytes) << format_fetch_error(bytes.error());
  ASSERT_GE(calls.size(), 2u);
  EXPECT_EQ(calls.back(), std::make_pair(std::uint64_t{300000}, std::uint64_t{300000}));
  for (std::size_t i = 0; i + 1 < calls.size(); ++i) {
    EXPECT_EQ(calls[i].second, 300000u);
    EXPECT_LE(calls[i].first, calls[i + 1].first);
    // Whole ranges, the short last one among them whenever it ended.
    const std::uint64_t part = calls[i].first % range_size;
    EXPECT_TRUE(part == 0 || part == 300000u % range_size) << calls[i].first;
  }
}

TEST(DownloadWithFallback, AnEmptyFileWhoseFirstTryFailsIsReportedOnceAndReturned) {
  const std::uint16_t closed = testkit::free_loopback_port();
  std::vector<std::pair<std::uint64_t, std::uint64_t>> calls;
  auto bytes = download_with_fallback(plain_url(closed), "/empty", 0, [&](std::uint64_t done, std::uint64_t total) {
    calls.emplace_back(done, total);
    return true;
  });
  ASSERT_TRUE(bytes) << format_fetch_error(bytes.error());
  EXPECT_TRUE(bytes->empty());
  EXPECT_EQ(calls, (std::vector<std::pair<std::uint64_t, std::uint64_t>>{{0, 0}}));
}

TEST(DownloadWithFallback, ReturnsTheFirstTrysBytesWhateverTheirNumber) {
  HttpServer server([](const std::string&) { return reply::answer("HTTP/1.1 200 OK", "", "short"); });
  auto bytes = download_with_fallback(plain_url(server.port()), "/f", 100000, always_continue());
  ASSERT_TRUE(bytes) << format_fetch_error(bytes.error());
  EXPECT_EQ(platform::to_string(*bytes), "short");
  EXPECT_EQ(server.heads().size(), 1u);
}

// AddressSanitizer ends the process on an allocation it cannot make instead
// of throwing std::bad_alloc, so that case is left to the other builds.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kFailedAllocationsThrow = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kFailedAllocationsThrow = false;
#else
constexpr bool kFailedAllocationsThrow = true;
#endif
#else
constexpr bool kFailedAllocationsThrow = true;
#endif

// The fallback holds the whole file; a signed size that no buffer can hold
// is a failed download of its own, with nothing asked for in ranges.
TEST(DownloadWithFallback, ASizeThatNoMemoryHoldsIsAnIoErrorOfItsOwn) {
  std::vector<std::uint64_t> totals = {std::uint64_t{1} << 63, ~std::uint64_t{0}};
  // Past what the address space can map, whatever the system's overcommit.
  if (kFailedAllocationsThrow) totals.push_back(std::uint64_t{1} << 62);
  for (const std::uint64_t total : totals) {
    SCOPED_TRACE(total);
    // The first try breaks off, so the fallback starts.
    HttpServer server([](const std::string&) { return reply::hang_up(); });
    int calls = 0;
    const ProgressFn count = [&](std::uint64_t, std::uint64_t) {
      ++calls;
      return true;
    };
    auto bytes = download_with_fallback(plain_url(server.port()), "/huge.bin", total, count);
    ASSERT_FALSE(bytes);
    EXPECT_EQ(bytes.error(), (FetchError{FetchError::Io{"/huge.bin", fmt::format("no memory for {} bytes", total)}}));
    EXPECT_EQ(format_fetch_error(bytes.error()), fmt::format("io error at /huge.bin: no memory for {} bytes", total));
    EXPECT_EQ(ranged_requests(server), 0u);
    EXPECT_EQ(calls, 0);
  }
}

TEST(DownloadWithFallback, SomeFirstTryFailuresAreFinal) {
  struct Case {
    const char* what;
    Reply answer;
    std::string error;
  };
  const Case cases[] = {
      {"503", reply::answer("HTTP/1.1 503 Busy", "", "later"),
       "the training-data server answered HTTP 503 for /f: later"},
      {"404", reply::answer("HTTP/1.1 404 Not Found", "", ""),
       "the training-data server has no /f (HTTP 404) — the span may reach past the published snapshot, or the "
       "server's lake is a different snapshot than this cache"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    HttpServer server([&](const std::string&) { return c.answer; });
    auto bytes = download_with_fallback(plain_url(server.port()), "/f", 100000, always_continue());
    ASSERT_FALSE(bytes);
    EXPECT_EQ(format_fetch_error(bytes.error()), c.error);
    EXPECT_EQ(server.heads().size(), 1u);
  }
}

TEST(DownloadWithFallback, RetriesARangeSixTimesWithGrowingPauses) {
  using ms = std::chrono::milliseconds;
  struct Case {
    const char* what;
    Reply range_answer;
    std::vector<ms> sleeps;
    std::string error;
  };
  const Case cases[] = {
      {"503 on a range", reply::answer("HTTP/1.1 503 Busy", "", "busy"),
       {ms(1000), ms(2000), ms(3000), ms(4000), ms(5000), ms(6000)},
       "the training-data server answered HTTP 503 for /f: busy"},
      {"429 on a range", reply::answer("HTTP/1.1 429 Slow Down", "", ""),
       {ms(1000), ms(2000), ms(3000), ms(4000), ms(5000), ms(6000)},
       "the training-data server answered HTTP 429 for /f: "},
      {"a broken connection", reply::hang_up(), {ms(250), ms(500), ms(750), ms(1000), ms(1250), ms(1500)},
       "malformed HTTP response from the training-data server for /f: connection closed before the headers ended"},
      {"a wrong Content-Range", reply::answer("HTTP/1.1 206 Partial", "Content-Range: bytes 0-9/32768\r\n", "0123456789"),
       {ms(250), ms(500), ms(750), ms(1000), ms(1250), ms(1500)},
       "malformed HTTP response from the training-data server for /f: asked for bytes 0-32767/32768, answered "
       "Some(\"bytes 0-9/32768\")"},
      {"500 on a range", reply::answer("HTTP/1.1 500 Broken", "", "no"), {},
       "the training-data server answered HTTP 500 for /f: no"},
      {"404 on a range", reply::answer("HTTP/1.1 404 Not Found", "", ""), {},
       "the training-data server has no /f (HTTP 404) — the span may reach past the published snapshot, or the "
       "server's lake is a different snapshot than this cache"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    HttpServer server([&](const std::string& head) { return requested_range(head) ? c.range_answer : reply::hang_up(); });
    RecordedSleeps sleeps;
    auto bytes = download_with_fallback(plain_url(server.port()), "/f", 32768, always_continue(), sleeps.timing());
    ASSERT_FALSE(bytes);
    EXPECT_EQ(format_fetch_error(bytes.error()), c.error);
    EXPECT_EQ(sleeps.sleeps, c.sleeps);
    EXPECT_EQ(ranged_requests(server), c.sleeps.empty() ? 1u : 6u);
  }
}

TEST(DownloadWithFallback, ABrokenRangeTakesTheRealPausesBeforeItFails) {
  HttpServer server([](const std::string&) { return reply::hang_up(); });
  const auto started = std::chrono::steady_clock::now();
  auto bytes = download_with_fallback(plain_url(server.port()), "/f", 1000, always_continue());
  const auto took = std::chrono::steady_clock::now() - started;
  ASSERT_FALSE(bytes);
  EXPECT_TRUE(bytes.error().is<FetchError::Malformed>());
  EXPECT_EQ(ranged_requests(server), 6u);
  // 250 + 500 + 750 + 1,000 + 1,250 + 1,500 ms.
  EXPECT_GE(took, 5250ms);
  EXPECT_LT(took, 10500ms);  // short of the pauses twice over
}

TEST(DownloadWithFallback, ARangeAnsweredRightAfterAFailureIsKept) {
  const std::string file = file_of(32768);
  std::atomic<int> ranges{0};
  HttpServer server([&](const std::string& head) {
    const auto range = requested_range(head);
    if (!range) return reply::hang_up();
    if (ranges++ == 0) {
      // The right Content-Range, but fewer bytes than the span: never copied.
      return reply::answer("HTTP/1.1 206 Partial", "Content-Range: bytes 0-32767/32768\r\n", "0123456789");
    }
    return reply::partial(file, range->first, range->last);
  });
  RecordedSleeps sleeps;
  auto bytes = download_with_fallback(plain_url(server.port()), "/f", file.size(), always_continue(), sleeps.timing());
  ASSERT_TRUE(bytes) << format_fetch_error(bytes.error());
  EXPECT_TRUE(platform::to_string(*bytes) == file);
  EXPECT_EQ(sleeps.sleeps, std::vector<std::chrono::milliseconds>{std::chrono::milliseconds(250)});
}

TEST(DownloadWithFallback, A200InsteadOf206StopsEveryThread) {
  const std::string file = file_of(1000000);
  HttpServer server([&](const std::string& head) {
    if (!requested_range(head)) return reply::hang_up();
    return reply::delayed(reply::answer("HTTP/1.1 200 OK", "", "whole"), 50ms);
  });
  RecordedSleeps sleeps;
  auto bytes = download_with_fallback(plain_url(server.port()), "/f", file.size(), always_continue(), sleeps.timing());
  ASSERT_FALSE(bytes);
  EXPECT_EQ(format_fetch_error(bytes.error()), "the training-data server answered HTTP 200 for /f: whole");
  EXPECT_TRUE(sleeps.sleeps.empty());
  // No range is asked for twice, and no thread takes a range after the first
  // answer came back.
  EXPECT_LE(ranged_requests(server), 16u);
}

TEST(DownloadWithFallback, TheCallersCancellationWinsOverAStoredError) {
  HttpServer server([](const std::string& head) {
    if (head.find("\r\nRange: ") == std::string::npos) return reply::hang_up();
    // Answered after the caller cancelled: its failure is stored, but the
    // cancellation decides.
    return reply::delayed(reply::answer("HTTP/1.1 404 Not Found", "", ""), 300ms);
  });
  int calls = 0;
  auto bytes = download_with_fallback(plain_url(server.port()), "/f", 100000, [&](std::uint64_t, std::uint64_t) {
    return ++calls < 2;
  });
  ASSERT_FALSE(bytes);
  EXPECT_TRUE(bytes.error().is<FetchError::Cancelled>()) << format_fetch_error(bytes.error());
  EXPECT_EQ(calls, 2);
}

TEST(DownloadWithFallback, FallsBackToRangesFromNginxOverTls) {
  fetch_test::NginxPeer nginx;
  const std::string file = file_of(1000000);
  nginx.put("ranged-only/file.bin", file);
  auto whole = get_bytes(nginx.url(), "/ranged-only/file.bin", std::nullopt, 8, always_continue());
  ASSERT_FALSE(whole);
  EXPECT_TRUE(whole.error().is<FetchError::Malformed>()) << format_fetch_error(whole.error());

  auto bytes = download_with_fallback(nginx.url(), "/ranged-only/file.bin", file.size(), always_continue());
  ASSERT_TRUE(bytes) << format_fetch_error(bytes.error());
  EXPECT_TRUE(platform::to_string(*bytes) == file);
}

}  // namespace
}  // namespace fetch
