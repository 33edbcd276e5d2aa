#include "update/check/refusals_log.hpp"

#include <gtest/gtest.h>

#include "platform/fs.hpp"
#include "testkit/file_text.hpp"
#include "testkit/temp_dir.hpp"
#include "update/store/clock.hpp"
#include "update/store/updates_dir.hpp"

namespace update {
namespace {

constexpr const char* kUrl = "https://localhost:47443/releases/morvane/stable-intl/release.json";

using testkit::read_text;

TEST(RefusalLine, IsTimeUrlClaimedVersionAndTheErrorOnOneLine) {
  const UpdateError no_signature{UpdateError::NoSignature{kUrl}};
  EXPECT_EQ(refusal_line(1700000000123, kUrl, "1.2.3", no_signature),
            "1700000000123 | https://localhost:47443/releases/morvane/stable-intl/release.json | "
            "claimed_version=1.2.3 | the release manifest at "
            "https://localhost:47443/releases/morvane/stable-intl/release.json arrived with no signature — this "
            "client installs nothing it cannot verify, and there is no unsigned path to fall back to\n");

  // A reason that spans lines (a JSON error can quote them) ends up on one.
  const UpdateError unusable{UpdateError::Unusable{kUrl, "first\n  second\r\n\tthird"}};
  EXPECT_EQ(refusal_line(5, kUrl, "", unusable),
            "5 | https://localhost:47443/releases/morvane/stable-intl/release.json | claimed_version=unknown | "
            "the release manifest at https://localhost:47443/releases/morvane/stable-intl/release.json verified "
            "but is not usable: first second third\n");
}

TEST(RefusalLine, AClaimedVersionCannotBreakTheLine) {
  const UpdateError refused{UpdateError::SignatureFailure{"u"}};
  const std::string tail =
      " | SIGNATURE VERIFICATION FAILURE for u: the signature is well formed but no key pinned in this build "
      "accepts it over these bytes. The release was NOT staged. A bad signature is a finding about the channel, "
      "not a transient — nothing will be retried automatically.\n";
  struct Case {
    std::string claimed;
    std::string written;
  };
  const Case cases[] = {
      {"1.2.3", "1.2.3"},
      {"1.2.3+build label", "1.2.3+build label"},
      {"9.9.9\n1700000000000 | forged | claimed_version=0.0.1 | fine",
       "9.9.9 1700000000000 | forged | claimed_version=0.0.1 | fine"},
      {"\r\n\t 1.0.0 \x1b[2J\x7f", "1.0.0 [2J"},
      {"a\u2028b\u0085c", "a b c"},
      {" \n ", "unknown"},
      {"", "unknown"},
      {"fa\u200clse", "fa\u200clse"},  // a joiner is no white space
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.claimed);
    EXPECT_EQ(refusal_line(1, "u", c.claimed, refused), "1 | u | claimed_version=" + c.written + tail);
  }
}

TEST(LogRefusal, AppendsOneLineAndMakesTheFolderAsTheUpdaterDoes) {
  testkit::TempDir dir;
  const platform::Path updates = dir / "install" / "updates";
  const UpdateError first{UpdateError::NoSignature{kUrl}};
  const UpdateError second{UpdateError::Replay{kUrl, 1, 2}};

  const std::uint64_t before = now_ms();
  log_refusal(updates, kUrl, "1.0.0", first);
  const std::uint64_t middle = now_ms();
  log_refusal(updates, kUrl, "0.9.0", second);
  const std::uint64_t after = now_ms();

  EXPECT_EQ(read_text(updates / "README.txt"), updates_readme_text());
  const std::string log = read_text(updates / "refusals.log");
  const std::size_t first_end = log.find('\n');
  ASSERT_NE(first_end, std::string::npos) << log;
  const std::string line1 = log.substr(0, first_end + 1);
  const std::string line2 = log.substr(first_end + 1);
  const std::uint64_t time1 = std::stoull(line1);
  const std::uint64_t time2 = std::stoull(line2);
  EXPECT_GE(time1, before);
  EXPECT_LE(time1, middle);
  EXPECT_GE(time2, middle);
  EXPECT_LE(time2, after);
  EXPECT_EQ(line1, refusal_line(time1, kUrl, "1.0.0", first));
  EXPECT_EQ(line2, refusal_line(time2, kUrl, "0.9.0", second));
}

TEST(LogRefusal, KeepsWhatTheLogHeld) {
  testkit::TempDir dir;
  ASSERT_TRUE(platform::write_file(dir / "refusals.log", platform::byte_view("earlier line\n")));
  log_refusal(dir.path(), kUrl, "1.0.0", UpdateError{UpdateError::NoSignature{kUrl}});
  const std::string log = read_text(dir / "refusals.log");
  EXPECT_TRUE(log.starts_with("earlier line\n")) << log;
  EXPECT_TRUE(log.ends_with(" | claimed_version=1.0.0 | " +
                            error_one_line(UpdateError{UpdateError::NoSignature{kUrl}}) + "\n"))
      << log;
}

TEST(LogRefusal, NeverFails) {
  testkit::TempDir dir;
  const UpdateError error{UpdateError::NoSignature{kUrl}};
  // The updates folder's place is taken by a file: nothing is written.
  ASSERT_TRUE(platform::write_file(dir / "updates", platform::byte_view("a file")));
  log_refusal(dir / "updates", kUrl, "1.0.0", error);
  EXPECT_EQ(read_text(dir / "updates"), "a file");
  // refusals.log is a folder: the line is dropped.
  ASSERT_TRUE(platform::create_dirs(dir / "other" / "refusals.log"));
  log_refusal(dir / "other", kUrl, "1.0.0", error);
  EXPECT_TRUE(platform::metadata(dir / "other" / "refusals.log")->is_dir);
}

}  // namespace
}  // namespace update
