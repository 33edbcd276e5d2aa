#include "update/tests/stage_fixture.hpp"

#include <algorithm>
#include <chrono>
#include <thread>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "fetch/digest/sha256.hpp"
#include "fetch/http/request.hpp"
#include "platform/fs.hpp"
#include "update/check/release_path.hpp"

namespace stagetest {

Bytes file_bytes(std::size_t size, std::uint32_t seed) {
  Bytes bytes(size);
  std::uint32_t state = seed * 2654435761u + 1;
  for (auto& byte : bytes) {
    state = state * 1664525u + 1013904223u;
    byte = static_cast<std::uint8_t>(state >> 24);
  }
  return bytes;
}

Bytes changed(Bytes bytes, std::size_t every) {
  for (std::size_t i = every / 2; i < bytes.size(); i += every) bytes[i] = static_cast<std::uint8_t>(bytes[i] + 1);
  return bytes;
}

void put(const Path& path, platform::ByteView bytes) {
  ASSERT_TRUE(platform::create_dirs(path.parent_path()));
  ASSERT_TRUE(platform::write_file(path, bytes)) << platform::display(path);
}

std::string content(const Path& path) {
  auto bytes = platform::read_file(path);
  return bytes ? platform::to_string(*bytes) : std::string("<missing>");
}

std::vector<std::string> names_in(const Path& folder) {
  auto listing = platform::list_dir(folder);
  if (!listing) return {};
  std::vector<std::string> names = listing->names;
  std::sort(names.begin(), names.end());
  return names;
}

void copy_tree(const Path& from, const Path& to) {
  ASSERT_TRUE(platform::create_dirs(to));
  for (const std::string& name : names_in(from)) {
    auto meta = platform::metadata(from / name);
    ASSERT_TRUE(meta);
    if (meta->is_dir) {
      copy_tree(from / name, to / name);
    } else {
      ASSERT_TRUE(platform::copy_file_replace(from / name, to / name));
    }
  }
}

namespace {

void snapshot_into(const Path& folder, const std::string& prefix, Tree& tree, const std::vector<std::string>& skip) {
  for (const std::string& name : names_in(folder)) {
    if (prefix.empty() && std::find(skip.begin(), skip.end(), name) != skip.end()) continue;
    const std::string relative = prefix + name;
    auto meta = platform::metadata(folder / name);
    if (meta && meta->is_dir) {
      tree[relative] = "<folder>";
      snapshot_into(folder / name, relative + "/", tree, {});
    } else {
      tree[relative] = file_entry(content(folder / name));
    }
  }
}

std::string render(const update::StageEvent& event) {
  using E = update::StageEvent;
  if (const auto* planned = event.get<E::Planned>()) {
    return fmt::format("planned {} files, {} bytes", planned->files, planned->total_bytes);
  }
  if (const auto* started = event.get<E::FileStarted>()) {
    return fmt::format("started {} ({}) {}", started->path,
                       started->size ? std::to_string(*started->size) : std::string("no size"),
                       started->local ? "local" : "remote");
  }
  if (const auto* done = event.get<E::BytesDone>()) return fmt::format("progress of {}", done->total);
  const auto& staged = *event.get<E::FileStaged>();
  return fmt::format("staged {} {} {}", staged.path, staged.bytes, staged.reused ? "reused" : "downloaded");
}

}  // namespace

std::string file_entry(const std::string& bytes) {
  return fmt::format("{} bytes, sha256 {}", bytes.size(), fetch::sha256_hex(platform::byte_view(bytes)));
}

Tree snapshot(const Path& root, const std::vector<std::string>& skip) {
  Tree tree;
  snapshot_into(root, "", tree, skip);
  return tree;
}

std::string describe(const Tree& tree) {
  std::string out;
  for (const auto& [path, value] : tree) {
    out += value == "<folder>" ? fmt::format("  {}/\n", path) : fmt::format("  {}: {}\n", path, value);
  }
  return out;
}

void Recorder::record(update::StageEvent event) {
  events_.push_back(std::move(event));
  if (on_event) on_event(events_.back());
}

std::vector<std::string> Recorder::lines() const {
  std::vector<std::string> lines;
  for (std::size_t i = 0; i < events_.size(); ++i) {
    std::string line = render(events_[i]);
    const bool progress = events_[i].is<update::StageEvent::BytesDone>();
    if (progress && i > 0 && events_[i - 1].is<update::StageEvent::BytesDone>() && lines.back() == line) continue;
    lines.push_back(std::move(line));
  }
  return lines;
}

bool Recorder::progress_runs_complete() const {
  const update::StageEvent::BytesDone* last = nullptr;
  for (const auto& event : events_) {
    const auto* done = event.get<update::StageEvent::BytesDone>();
    const bool run_goes_on = done != nullptr && last != nullptr && last->total == done->total;
    if (last != nullptr && !run_goes_on && last->done != last->total) return false;
    if (done != nullptr && done->done > done->total) return false;
    if (run_goes_on && done->done < last->done) return false;
    last = done;
  }
  return last == nullptr || last->done == last->total;
}

update::VerifiedRelease verified(const testkit::PublishedRelease& published) {
  auto release = update::verify_release("https://localhost/releases/morvane/stable-intl/release.json",
                                        published.manifest_bytes, platform::ByteView(published.signature),
                                        testkit::kPublishedProduct, testkit::kPublishedChannel);
  EXPECT_TRUE(release) << update::display_update_error(release.error());
  return release ? std::move(*release) : update::VerifiedRelease{};
}

testkit::Release exe_update(const Bytes& old_exe, const Bytes& exe) {
  return {.version = "2.0.0",
          .issued_at_ms = kIssued,
          .files = {{.name = "morvane.exe", .bytes = exe}},
          .earlier = {{"1.0.0", {{.name = "morvane.exe", .bytes = old_exe}}}}};
}

update::VerifiedRelease publish(const Path& root, const testkit::Release& release) {
  auto published = testkit::publish_release(root, release);
  EXPECT_TRUE(published) << published.error();
  if (!published) return {};
  return verified(*published);
}

std::vector<std::string> staged_log(const Path& updates_dir) {
  auto bytes = platform::read_file(updates_dir / "staged.log");
  if (!bytes) return {};
  const std::string text = platform::to_string(*bytes);
  EXPECT_TRUE(text.empty() || text.back() == '\n') << "the last line is not ended";
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(start, end - start);
    const std::string separator = " \u00b7 ";
    const std::size_t digits = line.find(separator);
    const bool timed = digits != std::string::npos && digits > 0 &&
                       std::all_of(line.begin(), line.begin() + static_cast<std::ptrdiff_t>(digits),
                                   [](char c) { return c >= '0' && c <= '9'; });
    EXPECT_TRUE(timed) << "no time in front: " << line;
    lines.push_back(timed ? line.substr(digits + separator.size()) : line);
    start = end + 1;
  }
  return lines;
}

std::string request_path(const std::string& name) {
  return update::release_path(testkit::kPublishedProduct, testkit::kPublishedChannel) + "/" + name;
}

std::vector<std::string> answered_requests(const testkit::ReleaseHost& host) {
  static std::atomic<int> counter{0};
  const std::string marker = "/stagetest-last-request-";
  const std::string last = marker + std::to_string(counter++);
  (void)fetch::get_bytes(host.url(), last, std::nullopt, 5, fetch::always_continue());
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  for (;;) {
    const auto lines = host.requests();
    const bool seen =
        std::any_of(lines.begin(), lines.end(), [&](const std::string& line) { return line.find(last + " ") != std::string::npos; });
    if (seen || std::chrono::steady_clock::now() > until) {
      EXPECT_TRUE(seen) << "nginx never listed " << last;
      std::vector<std::string> out;
      for (const auto& line : lines) {
        if (line.find(marker) == std::string::npos) out.push_back(line);
      }
      return out;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

}  // namespace stagetest
