#include "fetch/http/download.hpp"

#include <algorithm>
#include <cstring>
#include <exception>
#include <new>
#include <thread>
#include <vector>

#include <fmt/format.h>

#include "fetch/http/byte_range.hpp"
#include "fetch/http/request.hpp"

namespace fetch {

namespace {

void sleep_unless_stopped(std::chrono::milliseconds duration, const std::atomic<bool>& stop) {
  constexpr auto slice = std::chrono::milliseconds(10);
  const auto until = std::chrono::steady_clock::now() + duration;
  for (;;) {
    const auto now = std::chrono::steady_clock::now();
    if (now >= until || stop.load()) return;
    std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(slice, until - now));
  }
}

// How a failed attempt at a range goes on.
enum class Next { Final, RetryBusy, Retry };

Next classify(const FetchError& error) {
  if (const auto* status = error.get<FetchError::HttpStatus>()) {
    const auto code = status->status;
    return code == 429 || code == 502 || code == 503 || code == 504 ? Next::RetryBusy : Next::Final;
  }
  if (error.is<FetchError::TlsRefused>() || error.is<FetchError::NotFound>() || error.is<FetchError::Cancelled>()) {
    return Next::Final;
  }
  return Next::Retry;
}

// The first try's errors after which the fallback would not fare better.
bool final_first_try(const FetchError& error) {
  return error.is<FetchError::BadUrl>() || error.is<FetchError::TlsRefused>() || error.is<FetchError::NotFound>() ||
         error.is<FetchError::HttpStatus>() || error.is<FetchError::Cancelled>();
}

// Up to range_attempts tries at one range. The bytes are exactly the span.
tl::expected<platform::Bytes, FetchError> fetch_range(FallbackState& state, const ByteRange& range) {
  const std::uint64_t span = range.end - range.start + 1;
  std::optional<FetchError> last;
  for (int attempt = 1; attempt <= range_attempts; ++attempt) {
    if (state.stop.load()) break;
    auto bytes = get_bytes(state.url, state.path, range, range_receive_timeout_seconds,
                           continue_unless_cancelled(state.stop));
    if (bytes && bytes->size() == span) return bytes;
    if (bytes) {
      // A 206 whose Content-Range was right but whose Content-Length was not:
      // never copied, retried like any other broken answer.
      last = malformed_error(state.url.prefix + state.path,
                             fmt::format("the answer for bytes {}-{} carried {} bytes instead of {}", range.start,
                                         range.end, bytes->size(), span));
    } else {
      last = std::move(bytes.error());
    }
    const Next next = classify(*last);
    if (next == Next::Final) break;
    const auto unit = next == Next::RetryBusy ? state.timing.busy_unit : state.timing.retry_unit;
    if (state.timing.sleep) {
      state.timing.sleep(unit * attempt, state.stop);
    } else {
      sleep_unless_stopped(unit * attempt, state.stop);
    }
  }
  if (!last) return tl::unexpected(FetchError{FetchError::Cancelled{}});
  return tl::unexpected(std::move(*last));
}

// Zero-filled room for the whole file, or no_memory_error when the size is
// more than a buffer can hold or than the system will give.
tl::expected<platform::Bytes, FetchError> whole_file_buffer(const std::string& path, std::uint64_t total) {
  platform::Bytes buffer;
  if (total > buffer.max_size()) return tl::unexpected(no_memory_error(path, total));
  try {
    buffer.resize(static_cast<std::size_t>(total));
  } catch (const std::bad_alloc&) {
    return tl::unexpected(no_memory_error(path, total));
  }
  return buffer;
}

// Lowers the active-thread count however the worker ends.
struct ActiveGuard {
  std::atomic<std::uint64_t>& active;
  ~ActiveGuard() { active.fetch_sub(1); }
};

// The download threads of one fallback: whatever way the coordinating thread
// leaves, they are told to stop and are joined first.
struct Workers {
  std::atomic<bool>& stop;
  std::vector<std::thread> threads;

  void join_all() {
    for (auto& thread : threads) {
      if (thread.joinable()) thread.join();
    }
  }
  ~Workers() {
    stop.store(true);
    join_all();
  }
};

}  // namespace

DownloadTiming default_download_timing() {
  DownloadTiming timing;
  timing.sleep = sleep_unless_stopped;
  return timing;
}

FallbackState::FallbackState(const ServerUrl& url, const std::string& path, std::uint64_t total,
                             const DownloadTiming& timing, platform::Bytes buffer)
    : url(url),
      path(path),
      total(total),
      timing(timing),
      range_count(total / range_size + (total % range_size != 0 ? 1 : 0)),
      buffer(std::move(buffer)) {}

void chunk_worker(FallbackState& state) {
  ActiveGuard guard{state.active_threads};
  for (;;) {
    if (state.stop.load()) return;
    const std::uint64_t k = state.next_range.fetch_add(1);
    if (k >= state.range_count) return;
    const std::uint64_t start = k * range_size;
    const std::uint64_t end = std::min(start + range_size, state.total) - 1;

    auto bytes = fetch_range(state, ByteRange{start, end, state.total});
    if (!bytes) {
      if (bytes.error().is<FetchError::Cancelled>()) return;
      {
        std::lock_guard lock(state.error_mutex);
        if (!state.first_error) state.first_error = std::move(bytes.error());
      }
      state.stop.store(true);
      continue;  // ends at the check above
    }
    {
      std::lock_guard lock(state.buffer_mutex);
      std::memcpy(state.buffer.data() + start, bytes->data(), bytes->size());
    }
    state.bytes_done.fetch_add(bytes->size());
  }
}

tl::expected<platform::Bytes, FetchError> download_with_fallback(const ServerUrl& url, const std::string& path,
                                                                 std::uint64_t total, const ProgressFn& progress) {
  return download_with_fallback(url, path, total, progress, default_download_timing());
}

tl::expected<platform::Bytes, FetchError> download_with_fallback(const ServerUrl& url, const std::string& path,
                                                                 std::uint64_t total, const ProgressFn& progress,
                                                                 const DownloadTiming& timing) {
  auto whole = get_bytes(url, path, std::nullopt, whole_file_receive_timeout_seconds, progress);
  if (whole) return whole;
  if (final_first_try(whole.error())) return whole;

  auto buffer = whole_file_buffer(path, total);
  if (!buffer) return tl::unexpected(std::move(buffer.error()));
  FallbackState state(url, path, total, timing, std::move(*buffer));
  const std::uint64_t thread_count = std::min(state.range_count, max_download_threads);
  state.active_threads.store(thread_count);

  std::mutex fault_mutex;
  std::exception_ptr fault;
  const auto run = [&] {
    try {
      chunk_worker(state);
    } catch (...) {
      state.stop.store(true);
      std::lock_guard lock(fault_mutex);
      if (!fault) fault = std::current_exception();
    }
  };

  Workers workers{state.stop, {}};
  workers.threads.reserve(static_cast<std::size_t>(thread_count));
  try {
    for (std::uint64_t i = 0; i < thread_count; ++i) workers.threads.emplace_back(run);
  } catch (...) {
    // A thread that could not start: the others are stopped and joined (by
    // Workers), and the failure goes on as this thread's own.
    state.active_threads.fetch_sub(thread_count - workers.threads.size());
    throw;
  }

  bool cancelled = false;
  while (state.active_threads.load() != 0) {
    if (!state.stop.load() && !progress(state.bytes_done.load(), total)) {
      state.stop.store(true);
      cancelled = true;
    }
    std::this_thread::sleep_for(timing.progress_interval);
  }
  workers.join_all();
  if (fault) std::rethrow_exception(fault);

  if (cancelled) return tl::unexpected(FetchError{FetchError::Cancelled{}});
  if (state.first_error) return tl::unexpected(std::move(*state.first_error));
  const std::uint64_t done = state.bytes_done.load();
  if (done == total) {
    if (!progress(total, total)) return tl::unexpected(FetchError{FetchError::Cancelled{}});
    return std::move(state.buffer);
  }
  return tl::unexpected(malformed_error(path, fmt::format("{} of {} bytes arrived in pieces", done, total)));
}

}  // namespace fetch
