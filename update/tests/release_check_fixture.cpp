#include "update/tests/release_check_fixture.hpp"

#include <fmt/format.h>

#include "platform/fs.hpp"

namespace update::testing {

namespace {

void add_below(const platform::Path& folder, const std::string& prefix, Snapshot& out) {
  auto listing = platform::list_dir(folder);
  if (!listing) return;
  for (const std::string& name : listing->names) {
    const platform::Path path = folder / name;
    const std::string key = prefix + name;
    auto meta = platform::metadata(path);
    if (meta && meta->is_dir) {
      out[key] = "<dir>";
      add_below(path, key + "/", out);
    } else {
      out[key] = read_text(path);
    }
  }
}

}  // namespace

Snapshot snapshot(const platform::Path& folder) {
  Snapshot out;
  add_below(folder, "", out);
  return out;
}

void write_text(const platform::Path& path, std::string_view text) {
  ASSERT_TRUE(platform::create_dirs(path.parent_path()));
  ASSERT_TRUE(platform::write_file(path, platform::byte_view(text)));
}

std::vector<std::string> refusal_lines(const platform::Path& updates) {
  auto bytes = platform::read_file(updates / "refusals.log");
  if (!bytes) return {};
  const std::string text = platform::to_string(*bytes);
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    end = end == std::string::npos ? text.size() : end + 1;
    lines.push_back(text.substr(start, end - start));
    start = end;
  }
  return lines;
}

void expect_refusal_line(const std::string& line, std::uint64_t before, std::uint64_t after, const std::string& url,
                         const std::string& claimed, const std::string& one_line) {
  const std::size_t digits = line.find_first_not_of("0123456789");
  ASSERT_TRUE(digits != 0 && digits != std::string::npos) << line;
  const std::uint64_t time = std::stoull(line.substr(0, digits));
  EXPECT_GE(time, before);
  EXPECT_LE(time, after);
  EXPECT_EQ(line, fmt::format("{} | {} | claimed_version={} | {}\n", time, url, claimed, one_line));
}

testkit::Release ChannelTest::release(const std::string& version, std::int64_t issued_at_ms) {
  return testkit::Release{
      .version = version,
      .issued_at_ms = issued_at_ms,
      .files =
          {
              {.name = "morvane.exe", .bytes = platform::to_bytes("MZ the product's executable " + version)},
              {.name = "core.dll", .bytes = platform::to_bytes("a library of " + version), .xz_check = std::nullopt},
          },
  };
}

testkit::PublishedRelease ChannelTest::publish(const testkit::Release& release) {
  auto published = testkit::publish_release(root.path(), release);
  EXPECT_TRUE(published) << published.error();
  return published ? std::move(*published) : testkit::PublishedRelease{};
}

}  // namespace update::testing
