// The release check against a host that gives the answers a real release
// host does not: 304, redirects, statuses for one file, short bodies, slow
// bodies while the cancel flag is set.
#include <fmt/format.h>
#include <gtest/gtest.h>

#include "platform/fs.hpp"
#include "testkit/scripted_release_host.hpp"
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
    testkit::ScriptedReleaseHost scripted(root.path());
    scripted.answer(kManifestPath, c.reply);
    const Snapshot before = snapshot(install.path());
    const auto result = check(scripted.url());
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error(), (UpdateError{UpdateError::Unreachable{kManifestPath, c.message}}));
    EXPECT_EQ(scripted.targets(), (std::vector<std::string>{kManifestPath}));
    EXPECT_EQ(snapshot(install.path()), before);
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
    testkit::ScriptedReleaseHost scripted(root.path());
    scripted.answer(kSignaturePath, c.reply);
    const Snapshot before = snapshot(install.path());
    const auto result = check(scripted.url());
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error(), (UpdateError{UpdateError::Unreachable{kSignaturePath, c.message}}));
    EXPECT_EQ(scripted.targets(), (std::vector<std::string>{kManifestPath, kSignaturePath}));
    EXPECT_EQ(snapshot(install.path()), before);
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
