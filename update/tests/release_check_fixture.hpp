// What the release check's tests share: a channel folder that the publisher
// fills, an install folder whose updates folder the check writes, and
// snapshots of folders to show what a check wrote.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/bytes.hpp"
#include "platform/path.hpp"
#include "testkit/file_text.hpp"
#include "testkit/release/release_publisher.hpp"
#include "testkit/temp_dir.hpp"
#include "update/check/release_check.hpp"

namespace update::testing {

inline constexpr const char* kManifestPath = "/releases/morvane/stable-intl/release.json";
inline constexpr const char* kSignaturePath = "/releases/morvane/stable-intl/release.json.sig";

// Every file and folder below a folder, by path relative to it ("a/b"),
// with the bytes of each file ("<dir>" for a folder). A folder that is not
// there is the empty map.
using Snapshot = std::map<std::string, std::string>;
Snapshot snapshot(const platform::Path& folder);

// A file's text, or "<unreadable: why>" (testkit/file_text.hpp).
using testkit::read_text;
void write_text(const platform::Path& path, std::string_view text);

// The lines of refusals.log, each with its line feed.
std::vector<std::string> refusal_lines(const platform::Path& updates);

// The line's leading time, which must lie in [before, after]; the line must
// then be exactly "<time> | <url> | claimed_version=<claimed> | <one line>\n".
void expect_refusal_line(const std::string& line, std::uint64_t before, std::uint64_t after, const std::string& url,
                         const std::string& claimed, const std::string& one_line);

class ChannelTest : public ::testing::Test {
 protected:
  // A release of two small files (the executable with an xz artifact), made
  // for `issued_at_ms`.
  static testkit::Release release(const std::string& version, std::int64_t issued_at_ms);
  // Publishes into the channel folder; fails the test when it cannot.
  testkit::PublishedRelease publish(const testkit::Release& release);

  tl::expected<CheckResult, UpdateError> check(const fetch::ServerUrl& host) {
    return check_release(host, updates, "morvane", "stable-intl", cancel);
  }

  testkit::TempDir root;
  testkit::TempDir install;
  platform::Path updates = install / "updates";
  std::atomic<bool> cancel{false};
};

}  // namespace update::testing
