// Downloading a whole file into memory: one plain GET, and when that fails
// on the way (no connection, a broken answer), the file again in 32 KiB
// ranges on up to 16 threads, each range with its own retries.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

#include <tl/expected.hpp>

#include "fetch/error.hpp"
#include "fetch/http/server_url.hpp"
#include "fetch/progress.hpp"
#include "platform/bytes.hpp"

namespace fetch {

inline constexpr std::uint64_t range_size = 32768;
inline constexpr std::uint64_t max_download_threads = 16;
inline constexpr int range_attempts = 6;
inline constexpr std::uint32_t whole_file_receive_timeout_seconds = 8;
inline constexpr std::uint32_t range_receive_timeout_seconds = 15;

// The pauses of the fallback. After the n-th failed attempt at a range the
// worker sleeps n units: `busy_unit` after HTTP 429, 502, 503 or 504,
// `retry_unit` after any other failure worth retrying. `sleep` pauses the
// calling download thread; it may end early once the stop flag is set (the
// worker then gives up at its next check anyway).
struct DownloadTiming {
  std::chrono::milliseconds busy_unit{1000};
  std::chrono::milliseconds retry_unit{250};
  std::chrono::milliseconds progress_interval{50};
  std::function<void(std::chrono::milliseconds, const std::atomic<bool>& stop)> sleep;
};

// The real pauses, slept in short slices that end early on a set stop flag.
DownloadTiming default_download_timing();

// The file's bytes. The first try's bytes are returned as they are, whatever
// their number; the fallback's add up to `total` exactly. The progress
// callback is called on the calling thread only: during the first try with
// its bytes, during the fallback every progress interval with the bytes of
// completed ranges, and a last time with (total, total). The fallback holds
// the whole file: when `total` bytes cannot be had, it ends at once with
// no_memory_error for the path.
tl::expected<platform::Bytes, FetchError> download_with_fallback(const ServerUrl& url, const std::string& path,
                                                                 std::uint64_t total, const ProgressFn& progress);
tl::expected<platform::Bytes, FetchError> download_with_fallback(const ServerUrl& url, const std::string& path,
                                                                 std::uint64_t total, const ProgressFn& progress,
                                                                 const DownloadTiming& timing);

// What the coordinating thread and the download threads of one fallback
// share.
struct FallbackState {
  // `buffer` is the zero-filled room for the whole file, `total` bytes.
  FallbackState(const ServerUrl& url, const std::string& path, std::uint64_t total, const DownloadTiming& timing,
                platform::Bytes buffer);

  const ServerUrl& url;
  const std::string& path;
  const std::uint64_t total;
  const DownloadTiming& timing;
  const std::uint64_t range_count;  // ceil(total / range_size)

  std::mutex buffer_mutex;
  platform::Bytes buffer;  // total bytes, zero-filled at the start

  std::atomic<std::uint64_t> next_range{0};
  std::atomic<std::uint64_t> bytes_done{0};
  std::atomic<std::uint64_t> active_threads{0};
  std::atomic<bool> stop{false};

  std::mutex error_mutex;
  std::optional<FetchError> first_error;
};

// The body of one download thread: takes ranges until they run out, the stop
// flag is set or a range fails for good. Lowers the active-thread count when
// it ends, also when it ends in an exception.
void chunk_worker(FallbackState& state);

}  // namespace fetch
