#include "update/tests/stage_bench_release.hpp"

#include <algorithm>
#include <chrono>
#include <cstdio>

#include <fmt/format.h>

#include "platform/fs.hpp"
#include "platform/process.hpp"
#include "testkit/release/release_publisher.hpp"

namespace stagebench {

namespace {

class Random {
 public:
  explicit Random(std::uint32_t seed) : state_(0x9e3779b97f4a7c15ull * (seed + 1)) {}
  std::uint64_t next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 7;
    state_ ^= state_ << 17;
    return state_;
  }
  // In [low, high].
  std::size_t between(std::size_t low, std::size_t high) { return low + next() % (high - low + 1); }

 private:
  std::uint64_t state_;
};

// A stretch of `length` bytes appended to `out`.
void append_stretch(platform::Bytes& out, std::size_t length, Random& random,
                    const std::vector<std::string>& words) {
  switch (random.next() % 10) {
    case 0:
    case 1:
    case 2:
    case 3:  // words and blanks
      while (length > 0) {
        const std::string& word = words[random.next() % words.size()];
        for (std::size_t i = 0; i < word.size() && length > 0; ++i, --length) out.push_back(std::uint8_t(word[i]));
        if (length > 0) {
          out.push_back(' ');
          --length;
        }
      }
      return;
    case 4:
    case 5:
    case 6:  // an earlier stretch again, one byte in 64 changed
      if (out.size() > length) {
        const std::size_t from = random.between(0, out.size() - length - 1);
        for (std::size_t i = 0; i < length; ++i) {
          const std::uint8_t byte = out[from + i];
          out.push_back(random.next() % 64 == 0 ? std::uint8_t(byte + 1) : byte);
        }
        return;
      }
      [[fallthrough]];
    default:  // noise
      for (std::size_t i = 0; i < length; ++i) out.push_back(std::uint8_t(random.next() >> 56));
  }
}

double seconds_since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

tl::expected<void, std::string> write(const platform::Path& path, platform::ByteView bytes) {
  if (auto made = platform::create_dirs(path.parent_path()); !made) {
    return tl::unexpected(
        fmt::format("cannot create {}: {}", platform::display(path.parent_path()), made.error().text()));
  }
  if (auto written = platform::write_file(path, bytes); !written) {
    return tl::unexpected(fmt::format("cannot write {}: {}", platform::display(path), written.error().text()));
  }
  return {};
}

}  // namespace

platform::Path Layout::channel() const { return testkit::channel_dir(site()); }

platform::Bytes bench_content(std::size_t size, std::uint32_t seed) {
  Random random(seed);
  std::vector<std::string> words;
  for (int i = 0; i < 600; ++i) {
    std::string word;
    const std::size_t length = random.between(2, 11);
    for (std::size_t j = 0; j < length; ++j) word.push_back(char('a' + random.next() % 26));
    words.push_back(std::move(word));
  }
  platform::Bytes out;
  out.reserve(size + 4096);
  while (out.size() < size) append_stretch(out, random.between(256, 4096), random, words);
  out.resize(size);
  return out;
}

platform::Bytes one_percent_changed(platform::ByteView bytes, std::uint32_t seed) {
  Random random(seed);
  // 128 places, evenly spread: at 96 of them a run is overwritten (1 % of
  // the file in all), at 16 64 bytes are inserted and at 16 64 are removed.
  constexpr std::size_t edits = 128;
  const std::size_t run = bytes.size() / (edits * 6 / 8 * 100);
  const std::size_t spacing = bytes.size() / edits;
  platform::Bytes out;
  out.reserve(bytes.size() + edits * 64);
  std::size_t at = 0;
  for (std::size_t edit = 0; edit < edits; ++edit) {
    const std::size_t start = edit * spacing + random.between(0, spacing - run - 64);
    out.insert(out.end(), bytes.begin() + std::ptrdiff_t(at), bytes.begin() + std::ptrdiff_t(start));
    switch (edit % 8) {
      case 0:  // 64 new bytes in front of the run
        for (int i = 0; i < 64; ++i) out.push_back(std::uint8_t(random.next()));
        at = start;
        break;
      case 1:  // 64 bytes gone
        at = start + 64;
        break;
      default:  // the run overwritten
        for (std::size_t i = 0; i < run; ++i) out.push_back(std::uint8_t(random.next()));
        at = start + run;
    }
  }
  out.insert(out.end(), bytes.begin() + std::ptrdiff_t(at), bytes.end());
  return out;
}

std::vector<platform::Path> file_paths(const platform::Path& folder) {
  std::vector<platform::Path> paths;
  for (const BenchFile& file : bench_files) paths.push_back(folder / file.name);
  return paths;
}

std::vector<platform::Path> artifact_paths(const platform::Path& folder) {
  std::vector<platform::Path> paths;
  for (const BenchFile& file : bench_files) paths.push_back(folder / testkit::artifact_name(file.name));
  return paths;
}

tl::expected<void, std::string> prepare(const Layout& layout) {
  if (platform::exists(layout.ready_mark())) {
    std::printf("using the release already made in %s\n", platform::display(layout.work).c_str());
    return {};
  }
  (void)platform::remove_dir_all(layout.site());
  const auto start = std::chrono::steady_clock::now();
  testkit::Release release{.version = bench_version, .issued_at_ms = 1'700'000'000'000, .files = {}};
  platform::Bytes old_bytes;
  std::uint32_t seed = 1;
  for (const BenchFile& file : bench_files) {
    platform::Bytes bytes = bench_content(file.bytes, seed++);
    const bool with_delta = std::string_view(file.name) == delta_file;
    // The earlier version is the released file with 1 % changed, so that the
    // release's file has the size listed above.
    if (with_delta) old_bytes = one_percent_changed(bytes, seed++);
    // xz on every core writes blocks of 24 MiB, still in one stream.
    release.files.push_back(testkit::PublishedFile{
        .name = file.name, .bytes = std::move(bytes), .xz_options = {"-T0"}, .deltas = with_delta});
  }
  release.earlier.push_back(testkit::EarlierRelease{
      .version = earlier_version, .files = {testkit::PublishedFile{.name = delta_file, .bytes = old_bytes}}});
  std::printf("publishing 256 MiB with xz artifacts and an mvdiff1 delta...\n");
  std::fflush(stdout);
  auto published = testkit::publish_release(layout.site(), release);
  if (!published) return tl::unexpected(published.error());
  std::printf("  published in %.1f s\n", seconds_since(start));

  if (auto written = write(layout.old_file(), old_bytes); !written) return written;
  release = {};  // bsdiff needs the memory more
  std::printf("making the bsdiff patch for the same change...\n");
  std::fflush(stdout);
  const auto bsdiff_start = std::chrono::steady_clock::now();
  auto bsdiff = platform::run_hidden("bsdiff", {layout.old_file().string(), (layout.channel() / delta_file).string(),
                                                layout.bsdiff_patch().string()});
  if (!bsdiff || bsdiff->exit_code != 0) {
    return tl::unexpected(bsdiff ? "bsdiff failed: " + platform::to_string(bsdiff->stderr_bytes)
                                 : "bsdiff cannot be run (apt-get install bsdiff): " + bsdiff.error().text());
  }
  std::printf("  made in %.1f s\n", seconds_since(bsdiff_start));
  return write(layout.ready_mark(), platform::byte_view("ready\n"));
}

tl::expected<update::VerifiedRelease, std::string> load_release(const Layout& layout) {
  auto manifest = platform::read_file(layout.channel() / "release.json");
  auto signature = platform::read_file(layout.channel() / "release.json.sig");
  if (!manifest || !signature) return tl::unexpected(std::string("the channel has no release.json and signature"));
  auto verified = update::verify_release("release.json", *manifest, platform::ByteView(*signature),
                                         testkit::kPublishedProduct, testkit::kPublishedChannel);
  if (!verified) return tl::unexpected(update::display_update_error(verified.error()));
  return std::move(*verified);
}

}  // namespace stagebench
