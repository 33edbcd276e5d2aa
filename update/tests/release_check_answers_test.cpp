// The release check against a host that gives the answers a real release
// host does not: 304, redirects, statuses for one file, short bodies, slow
// bodies while the cancel flag is set.
#include <chrono>
#include <optional>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "platform/fs.hpp"
#include "testkit/release/scripted_release_host.hpp"
#include "update/check/high_water.hpp"
#include "update/check/release_check.hpp"
#include "update/store/updates_dir.hpp"
#include "update/tests/print_update_error.hpp"
#include "update/tests/release_check_fixture.hpp"

namespace update::testing {
namespace {

using namespace std::chrono_literals;

constexpr std::int64_t kIssued = 1700000000000;

class ScriptedChannel : public ChannelTest {
 protected:
  void SetUp() override { published = publish(release("0.1.1", kIssued)); }

  std::string url() const { return host.base_url() + kManifestPath; }
  std::string signature() const { return platform::to_string(published.signature); }
  std::string manifest() const { return platform::to_string(published.manifest_bytes); }

  // A check against a host of its own that answers `target` with the reply
  // fails as unreachable with the message, having asked for `asked`, and
  // leaves the installation as it was.
  void expect_unreachable(const std::string& target, const testkit::Reply& reply, const std::string& message,
                          const std::vector<std::string>& asked) {
    testkit::ScriptedReleaseHost scripted(root.path());
    scripted.answer(target, reply);
    const Snapshot before = snapshot(install.path());
    const auto result = check(scripted.url());
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error(), (UpdateError{UpdateError::Unreachable{target, message}}));
    EXPECT_EQ(scripted.targets(), asked);
    EXPECT_EQ(snapshot(install.path()), before);
  }

  testkit::ScriptedReleaseHost host{root.path()};
  testkit::PublishedRelease published;
};

TEST_F(ScriptedChannel, ServesTheChannelAsAStaticServer) {
  const auto result = check(host.url());
  ASSERT_TRUE(result) << display_update_error(result.error());
  EXPECT_EQ(result->answer, CheckAnswer::Newer);
  EXPECT_EQ(host.targets(), (std::vector<std::string>{kManifestPath, kSignaturePath}));
}

TEST_F(ScriptedChannel, NotModifiedForTheManifestIsUnchangedAndAsksNoMore) {
  host.answer(kManifestPath, testkit::reply::not_modified());
  const auto result = check(host.url());
  ASSERT_TRUE(result) << display_update_error(result.error());
  EXPECT_EQ(result->answer, CheckAnswer::Unchanged);
  EXPECT_FALSE(result->release);
  EXPECT_EQ(host.targets(), (std::vector<std::string>{kManifestPath}));
  EXPECT_FALSE(platform::exists(updates));
}

// A manifest that does not arrive ends the check before the signature is
// asked for, and nothing is written or logged.
TEST_F(ScriptedChannel, AManifestThatDoesNotArriveIsUnreachable) {
  const std::string target = kManifestPath;
  struct Case {
    const char* name;
    testkit::Reply reply;
    std::string message;
  };
  const Case cases[] = {
      {"a redirect", testkit::reply::redirect(302, "https://elsewhere.example/release.json"),
       "the training-data server answered HTTP 302 for " + target +
           ": a redirect to https://elsewhere.example/release.json, which this client does not follow — the one "
           "exception is a single https→https hop on an asset download"},
      {"a permanent redirect", testkit::reply::redirect(308, "/releases/morvane/stable-intl/release.json"),
       "the training-data server answered HTTP 308 for " + target +
           ": a redirect to /releases/morvane/stable-intl/release.json, which this client does not follow — the "
           "one exception is a single https→https hop on an asset download"},
      {"404", testkit::reply::status(404, "Not Found"),
       "the training-data server has no " + target +
           " (HTTP 404) — the span may reach past the published snapshot, or the server's lake is a different "
           "snapshot than this cache"},
      {"500", testkit::reply::status(500, "Internal Server Error", "down for repairs"),
       "the training-data server answered HTTP 500 for " + target + ": down for repairs"},
      {"a body shorter than its Content-Length", testkit::reply::declared_length("{\"product\"", 4096),
       "malformed HTTP response from the training-data server for " + target +
           ": connection closed at 10 of 4096 body bytes"},
      {"a connection closed without an answer", testkit::reply::hang_up(),
       "malformed HTTP response from the training-data server for " + target +
           ": connection closed before the headers ended"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    expect_unreachable(kManifestPath, c.reply, c.message, {kManifestPath});
  }
}

// Only a 404 means "no signature"; every other failure to get it fails the
// check as unreachable, names the signature and logs nothing.
TEST_F(ScriptedChannel, ASignatureThatDoesNotArriveIsUnreachable) {
  const std::string target = kSignaturePath;
  struct Case {
    const char* name;
    testkit::Reply reply;
    std::string message;
  };
  const Case cases[] = {
      {"304", testkit::reply::not_modified(),
       "malformed HTTP response from the training-data server for " + target +
           ": the server answered 304 Not Modified to a request that carried no validator — there was nothing for "
           "it to compare against"},
      {"500", testkit::reply::status(500, "Internal Server Error", "down for repairs"),
       "the training-data server answered HTTP 500 for " + target + ": down for repairs"},
      {"a redirect", testkit::reply::redirect(301, "https://elsewhere.example/release.json.sig"),
       "the training-data server answered HTTP 301 for " + target +
           ": a redirect to https://elsewhere.example/release.json.sig, which this client does not follow — the "
           "one exception is a single https→https hop on an asset download"},
      {"a body shorter than its Content-Length", testkit::reply::declared_length(signature().substr(0, 10), 64),
       "malformed HTTP response from the training-data server for " + target +
           ": connection closed at 10 of 64 body bytes"},
      {"a connection closed without an answer", testkit::reply::hang_up(),
       "malformed HTTP response from the training-data server for " + target +
           ": connection closed before the headers ended"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    expect_unreachable(kSignaturePath, c.reply, c.message, {kManifestPath, kSignaturePath});
  }
}

// A signature is 64 bytes: an answer that announces more than 4 KiB is not
// read, and is refused as a signature of the length it announces, as if it
// had been read; up to the ceiling the bytes are read as they come.
TEST_F(ScriptedChannel, ASignaturePastItsCeilingIsRefusedUnread) {
  struct Case {
    const char* name;
    testkit::Reply reply;
    std::uint64_t length;
  };
  const Case cases[] = {
      {"65 bytes", testkit::reply::ok(signature() + "x"), 65},
      {"4096 bytes", testkit::reply::ok(std::string(4096, 's')), 4096},
      {"4097 bytes announced, one sent", testkit::reply::declared_length("s", 4097), 4097},
      {"a terabyte announced, a little sent, slowly",
       testkit::reply::slowly(testkit::reply::declared_length(std::string(100000, 's'), 1'000'000'000'000), 100, 10ms),
       1'000'000'000'000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testkit::TempDir fresh;
    updates = fresh / "updates";
    testkit::ScriptedReleaseHost scripted(root.path());
    scripted.answer(kSignaturePath, c.reply);
    const std::string manifest_url = scripted.base_url() + kManifestPath;

    const auto began = std::chrono::steady_clock::now();
    const auto result = check(scripted.url());
    const auto took = std::chrono::steady_clock::now() - began;

    ASSERT_FALSE(result);
    const UpdateError refusal{UpdateError::NotEd25519{manifest_url, c.length, 64}};
    EXPECT_EQ(result.error(), refusal);
    const auto lines = refusal_lines(updates);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_TRUE(lines[0].ends_with(
        fmt::format(" | {} | claimed_version=0.1.1 | {}\n", manifest_url, error_one_line(refusal))))
        << lines[0];
    EXPECT_FALSE(platform::exists(high_water_path(updates)));
    // The slow body would take ten seconds to arrive.
    EXPECT_LT(took, 5s);
  }
}

// No release comes near 64 MiB (100,000 files make about 49 MB): an answer
// that announces more ends before its body, unlogged, as an answer that
// breaks the rules; the ceiling itself is read.
TEST_F(ScriptedChannel, AManifestPastItsCeilingIsNotRead) {
  const std::string target = kManifestPath;
  struct Case {
    const char* name;
    testkit::Reply reply;
    // The length announced past the ceiling, or none when it is read.
    std::optional<std::uint64_t> past;
  };
  const Case cases[] = {
      {"one byte past the ceiling", testkit::reply::declared_length("{", 67108865), 67108865},
      {"a terabyte, slowly",
       testkit::reply::slowly(testkit::reply::declared_length(std::string(100000, ' '), 1'000'000'000'000), 100, 10ms),
       1'000'000'000'000},
      {"the ceiling itself", testkit::reply::declared_length("{", 67108864), std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testkit::ScriptedReleaseHost scripted(root.path());
    scripted.answer(kManifestPath, c.reply);
    const std::string manifest_url = scripted.base_url() + kManifestPath;
    const Snapshot before = snapshot(install.path());

    const auto began = std::chrono::steady_clock::now();
    const auto result = check(scripted.url());
    const auto took = std::chrono::steady_clock::now() - began;

    ASSERT_FALSE(result);
    const std::string message =
        c.past ? fmt::format("malformed HTTP response from the training-data server for {}: the answer for {} "
                             "announces {} bytes, more than the ceiling of 67108864 bytes for a release manifest, so "
                             "the request ended before its body",
                             target, manifest_url, *c.past)
               : "malformed HTTP response from the training-data server for " + target +
                     ": connection closed at 1 of 67108864 body bytes";
    EXPECT_EQ(result.error(), (UpdateError{UpdateError::Unreachable{kManifestPath, message}}));
    EXPECT_EQ(scripted.targets(), (std::vector<std::string>{kManifestPath}));
    EXPECT_EQ(snapshot(install.path()), before);
    EXPECT_LT(took, 5s);  // the slow body would take ten seconds
  }
}

TEST_F(ScriptedChannel, A404ForTheSignatureAloneIsNoSignature) {
  host.answer(kSignaturePath, testkit::reply::status(404, "Not Found"));
  const auto result = check(host.url());
  ASSERT_FALSE(result);
  EXPECT_EQ(result.error(), (UpdateError{UpdateError::NoSignature{url()}}));
  const auto lines = refusal_lines(updates);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_TRUE(lines[0].ends_with(fmt::format(
      " | http://127.0.0.1:{}/releases/morvane/stable-intl/release.json | claimed_version=0.1.1 | the release "
      "manifest at http://127.0.0.1:{}/releases/morvane/stable-intl/release.json arrived with no signature — this "
      "client installs nothing it cannot verify, and there is no unsigned path to fall back to\n",
      host.port(), host.port())))
      << lines[0];
}

TEST_F(ScriptedChannel, ACancelDuringTheManifestEndsTheCheck) {
  host.answer(kManifestPath, testkit::reply::slowly(testkit::reply::ok(manifest()), 16, 5ms));
  host.on_request([this](const std::string& target) {
    if (target == kManifestPath) cancel = true;
  });
  const auto result = check(host.url());
  ASSERT_FALSE(result);
  EXPECT_EQ(result.error(), UpdateError{UpdateError::Cancelled{}});
  EXPECT_EQ(host.targets(), (std::vector<std::string>{kManifestPath}));
  EXPECT_FALSE(platform::exists(updates));
}

TEST_F(ScriptedChannel, ACancelDuringTheSignatureHasNoEffect) {
  host.answer(kSignaturePath, testkit::reply::slowly(testkit::reply::ok(signature()), 8, 30ms));
  host.on_request([this](const std::string& target) {
    if (target == kSignaturePath) cancel = true;
  });
  const auto result = check(host.url());
  ASSERT_TRUE(result) << display_update_error(result.error());
  EXPECT_TRUE(cancel);
  EXPECT_EQ(result->answer, CheckAnswer::Newer);
  EXPECT_EQ(load_high_water(updates), kIssued);
}

}  // namespace
}  // namespace update::testing
