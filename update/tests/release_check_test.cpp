// The release check against nginx serving real published channels over
// HTTPS, as the release host does.
#include "update/check/release_check.hpp"

#include <filesystem>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "fetch/http/request.hpp"
#include "morvane/config.hpp"
#include "platform/fs.hpp"
#include "testkit/loopback.hpp"
#include "testkit/release/release_host.hpp"
#include "testkit/release/signing_key.hpp"
#include "update/check/pinned_keys.hpp"
#include "update/records/manifest.hpp"
#include "update/store/clock.hpp"
#include "update/store/updates_dir.hpp"
#include "update/tests/print_update_error.hpp"
#include "update/tests/release_check_fixture.hpp"

namespace update::testing {
namespace {

constexpr std::int64_t kMark = 1700000000000;

std::string high_water_text(std::int64_t issued_at_ms, const std::string& version, std::int64_t recorded_at_ms) {
  return fmt::format("{{\n  \"issued_at_ms\": {},\n  \"version\": \"{}\",\n  \"recorded_at_ms\": {}\n}}",
                     issued_at_ms, version, recorded_at_ms);
}

// highwater.json must be exactly the record of this manifest, written between
// the two times.
void expect_high_water(const platform::Path& updates, std::int64_t issued_at_ms, const std::string& version,
                       std::uint64_t before, std::uint64_t after) {
  const std::string text = read_text(high_water_path(updates));
  const std::string key = "\"recorded_at_ms\": ";
  const std::size_t at = text.find(key);
  ASSERT_NE(at, std::string::npos) << text;
  const std::int64_t recorded = std::stoll(text.substr(at + key.size()));
  EXPECT_GE(recorded, static_cast<std::int64_t>(before));
  EXPECT_LE(recorded, static_cast<std::int64_t>(after));
  EXPECT_EQ(text, high_water_text(issued_at_ms, version, recorded));
}

class NginxChannel : public ChannelTest {
 protected:
  std::string url() const { return host.base_url() + kManifestPath; }

  testkit::ReleaseHost host{root.path()};
};

TEST(OwnVersion, IsTheVersionInTheUserAgent) {
  EXPECT_EQ(config::updater_version, "0.1.0");
  EXPECT_EQ(fetch::client_version(), fmt::format("{}+{}", config::updater_version, config::build_label));
}

TEST(ChannelRequests, NameTheManifestAndItsSignatureBelowTheChannel) {
  const auto plain = channel_requests(fetch::ServerUrl{"localhost", "", 47443, true}, "morvane", "stable-intl");
  EXPECT_EQ(plain.manifest_path, "/releases/morvane/stable-intl/release.json");
  EXPECT_EQ(plain.signature_path, "/releases/morvane/stable-intl/release.json.sig");
  EXPECT_EQ(plain.manifest_url, "https://localhost:47443/releases/morvane/stable-intl/release.json");
  // A host with a prefix: the paths stay below the prefix, the URL names it.
  const auto mirrored = channel_requests(fetch::ServerUrl{"mirror.example", "/m", 443, true}, "p", "c");
  EXPECT_EQ(mirrored.manifest_path, "/releases/p/c/release.json");
  EXPECT_EQ(mirrored.manifest_url, "https://mirror.example:443/m/releases/p/c/release.json");
}

TEST_F(NginxChannel, AVerifiedReleaseIsNewerOnlyPastTheUpdatersOwnVersion) {
  struct Case {
    const char* version;
    CheckAnswer answer;
  };
  const Case cases[] = {
      {"0.1.0", CheckAnswer::NotNewer}, {"0.0.9", CheckAnswer::NotNewer},  {"00.01.00", CheckAnswer::NotNewer},
      {"0.1.1", CheckAnswer::Newer},    {"0.2.0", CheckAnswer::Newer},     {"1.0.0", CheckAnswer::Newer},
      {"0.1.10", CheckAnswer::Newer},
  };
  std::int64_t issued = kMark;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.version);
    testkit::TempDir fresh;
    updates = fresh / "updates";
    const auto published = publish(release(c.version, ++issued));

    const std::uint64_t before = now_ms();
    const auto result = check(host.url());
    const std::uint64_t after = now_ms();
    ASSERT_TRUE(result) << display_update_error(result.error());
    EXPECT_EQ(result->answer, c.answer);
    ASSERT_TRUE(result->release);
    EXPECT_EQ(result->release->manifest, published.manifest);
    EXPECT_EQ(result->release->manifest_bytes, published.manifest_bytes);
    EXPECT_EQ(result->release->signature, published.signature);
    EXPECT_EQ(result->release->key_id, pinned_keys()[0].key_id);

    // The first accepted manifest sets the mark; nothing else is written
    // but the folder's README.txt.
    expect_high_water(updates, issued, c.version, before, after);
    const Snapshot written = snapshot(updates);
    EXPECT_EQ(written.size(), 2u);
    EXPECT_EQ(written.count("README.txt"), 1u);
    EXPECT_EQ(written.at("README.txt"), updates_readme_text());
  }
  // Both files were fetched for every check, and nothing else.
  for (const std::string& line : host.requests()) {
    EXPECT_TRUE(line == fmt::format("GET {} 200", kManifestPath) || line == fmt::format("GET {} 200", kSignaturePath))
        << line;
  }
}

TEST_F(NginxChannel, ReplayBoundary) {
  const std::string stored =
      R"({"issued_at_ms": 1700000000000, "version": "0.1.5", "recorded_at_ms": 1600000000000})";
  // Whole seconds, which every file system keeps exactly.
  const auto long_ago = std::chrono::floor<std::chrono::seconds>(std::filesystem::file_time_type::clock::now() -
                                                                 std::chrono::hours(24 * 30));
  struct Case {
    const char* name;
    std::int64_t issued_at_ms;
    bool accepted;
    bool rewritten;
  };
  const Case cases[] = {
      {"issued at the mark passes and leaves it", kMark, true, false},
      {"one less is a replay", kMark - 1, false, false},
      {"far less is a replay", 1, false, false},
      {"one more raises the mark", kMark + 1, true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testkit::TempDir fresh;
    updates = fresh / "updates";
    ASSERT_TRUE(ensure_updates_dir(updates));
    write_text(high_water_path(updates), stored);
    std::filesystem::last_write_time(high_water_path(updates), long_ago);
    publish(release("0.1.1", c.issued_at_ms));

    const std::uint64_t before = now_ms();
    const auto result = check(host.url());
    const std::uint64_t after = now_ms();

    if (c.accepted) {
      ASSERT_TRUE(result) << display_update_error(result.error());
      EXPECT_EQ(result->answer, CheckAnswer::Newer);
      EXPECT_TRUE(refusal_lines(updates).empty());
    } else {
      ASSERT_FALSE(result);
      EXPECT_EQ(result.error(), (UpdateError{UpdateError::Replay{url(), c.issued_at_ms, kMark}}));
      const std::string sentence = fmt::format(
          "the release manifest at {} was issued at {} ms, older than the newest this client has ever verified "
          "(1700000000000 ms). A signature proves origin, not currency; this is a replay and it is refused.",
          url(), c.issued_at_ms);
      EXPECT_EQ(display_update_error(result.error()), sentence);
      const auto lines = refusal_lines(updates);
      ASSERT_EQ(lines.size(), 1u);
      expect_refusal_line(lines[0], before, after, url(), "0.1.1", sentence);
    }
    if (c.rewritten) {
      expect_high_water(updates, c.issued_at_ms, "0.1.1", before, after);
    } else {
      EXPECT_EQ(read_text(high_water_path(updates)), stored);
      EXPECT_EQ(std::filesystem::last_write_time(high_water_path(updates)), long_ago);
    }
  }
}

TEST_F(NginxChannel, AMarkThatCannotBeReadCountsAsNoneAndIsOverwritten) {
  struct Case {
    const char* name;
    const char* text;  // nullptr: no highwater.json
  };
  const Case cases[] = {
      {"no mark", nullptr},
      {"invalid JSON", "{\"issued_at_ms\": 1700000000000,"},
      {"a field missing", R"({"issued_at_ms": 9000000000000, "version": "9.9.9"})"},
      {"a record of another type", R"({"version": "9.9.9", "pinned_at_ms": 9000000000000})"},
      {"a repeated key", R"({"issued_at_ms": 9, "issued_at_ms": 9, "version": "v", "recorded_at_ms": 1})"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testkit::TempDir fresh;
    updates = fresh / "updates";
    if (c.text != nullptr) write_text(high_water_path(updates), c.text);
    // Issued long before any mark that the broken files might have meant.
    publish(release("0.1.1", 5));
    const std::uint64_t before = now_ms();
    const auto result = check(host.url());
    const std::uint64_t after = now_ms();
    ASSERT_TRUE(result) << display_update_error(result.error());
    expect_high_water(updates, 5, "0.1.1", before, after);
  }
}

TEST_F(NginxChannel, AMarkInArrayFormOrWithExtraKeysIsActedOn) {
  const char* const marks[] = {
      R"([1700000000000, "0.1.5", 1])",
      R"({"from": {"tool": ["x", 1]}, "recorded_at_ms": 1, "version": "0.1.5", "issued_at_ms": 1700000000000})",
  };
  for (const char* mark : marks) {
    SCOPED_TRACE(mark);
    testkit::TempDir fresh;
    updates = fresh / "updates";
    write_text(high_water_path(updates), mark);
    publish(release("0.1.1", kMark - 1));
    const auto replayed = check(host.url());
    ASSERT_FALSE(replayed);
    EXPECT_EQ(replayed.error(), (UpdateError{UpdateError::Replay{url(), kMark - 1, kMark}}));

    publish(release("0.1.1", kMark));
    const auto equal = check(host.url());
    ASSERT_TRUE(equal) << display_update_error(equal.error());
    EXPECT_EQ(read_text(high_water_path(updates)), mark);
  }
}

TEST_F(NginxChannel, AMarkThatCannotBeWrittenEndsTheCheckUnlogged) {
  write_text(high_water_path(updates) / "in-the-way", "x");
  publish(release("0.1.1", kMark));
  const auto result = check(host.url());
  ASSERT_FALSE(result);
  const auto* io = result.error().get<UpdateError::Io>();
  ASSERT_NE(io, nullptr) << display_update_error(result.error());
  EXPECT_EQ(io->at, platform::display(high_water_path(updates)));
  EXPECT_FALSE(platform::exists(updates / "refusals.log"));
}

// Every refusal of verify_release is logged with the version that the bytes
// claim, and changes nothing else on the disk.
TEST_F(NginxChannel, RefusedManifestsAreLoggedAndChangeNothingElse) {
  const platform::Bytes not_a_manifest = platform::to_bytes("<html>this is not a manifest</html>");
  struct Case {
    const char* name;
    std::function<void(testkit::Release&)> change;
    std::function<UpdateError(const std::string& url)> refusal;
    const char* claimed;
  };
  const Case cases[] = {
      {"no signature (404)", [](auto& r) { r.faults.omit_signature = true; },
       [](const std::string& url) { return UpdateError{UpdateError::NoSignature{url}}; }, "0.1.1"},
      {"no signature, bytes that are no manifest",
       [&](auto& r) {
         r.faults.omit_signature = true;
         r.faults.manifest_bytes = not_a_manifest;
       },
       [](const std::string& url) { return UpdateError{UpdateError::NoSignature{url}}; }, "unknown"},
      {"signed bytes that are no manifest", [&](auto& r) { r.faults.manifest_bytes = not_a_manifest; },
       [](const std::string& url) {
         return UpdateError{UpdateError::Unusable{url, "expected value at line 1 column 1"}};
       },
       "unknown"},
      {"a manifest missing a field, signed",
       [](auto& r) {
         r.faults.manifest_bytes = platform::to_bytes(
             R"({"product": "morvane", "channel": "stable-intl", "version": "0.1.1", "build": "0.1.1+x"})");
       },
       [](const std::string& url) {
         return UpdateError{UpdateError::Unusable{url, "missing field `issued_at_ms` at line 1 column 88"}};
       },
       // What does not read as a manifest claims no version.
       "unknown"},
      {"signed over other bytes", [](auto& r) { r.faults.sign_other_bytes = platform::to_bytes("other bytes"); },
       [](const std::string& url) { return UpdateError{UpdateError::SignatureFailure{url}}; }, "0.1.1"},
      {"signed by another key",
       [](auto& r) {
         r.faults.signing_seed = testkit::Ed25519Seed{};
         (*r.faults.signing_seed)[0] = 7;
       },
       [](const std::string& url) { return UpdateError{UpdateError::SignatureFailure{url}}; }, "0.1.1"},
      {"a signature of 63 bytes", [](auto& r) { r.faults.signature_bytes = platform::Bytes(63, 0x11); },
       [](const std::string& url) { return UpdateError{UpdateError::NotEd25519{url, 63, 64}}; }, "0.1.1"},
      {"an empty signature file", [](auto& r) { r.faults.signature_bytes = platform::Bytes(); },
       [](const std::string& url) { return UpdateError{UpdateError::NotEd25519{url, 0, 64}}; }, "0.1.1"},
      {"an unpinned key id", [](auto& r) { r.key_id = "0123456789abcdef"; },
       [](const std::string& url) { return UpdateError{UpdateError::UnpinnedKey{url, "0123456789abcdef"}}; },
       "0.1.1"},
      {"another product", [](auto& r) { r.product = "othello"; },
       [](const std::string& url) {
         return UpdateError{UpdateError::WrongProduct{url, "othello", "stable-intl", "morvane", "stable-intl"}};
       },
       "0.1.1"},
      {"another channel", [](auto& r) { r.channel = "beta"; },
       [](const std::string& url) {
         return UpdateError{UpdateError::WrongProduct{url, "morvane", "beta", "morvane", "stable-intl"}};
       },
       "0.1.1"},
      {"a build that stamps another version",
       [](auto& r) { r.faults.edit_manifest = [](ReleaseManifest& m) { m.build = "9.9.9+x"; }; },
       [](const std::string& url) {
         return UpdateError{UpdateError::Unusable{
             url, "build 9.9.9+x does not stamp version 0.1.1 — the two identities in one manifest disagree"}};
       },
       "0.1.1"},
      {"no issue time", [](auto& r) { r.issued_at_ms = 0; },
       [](const std::string& url) {
         return UpdateError{
             UpdateError::Unusable{url, "issued_at_ms 0 is not a time — anti-replay has no axis without it"}};
       },
       "0.1.1"},
      {"a version that is no version", [](auto& r) { r.version = "1.2"; },
       [](const std::string& url) {
         return UpdateError{UpdateError::Unusable{
             url,
             "version 1.2 is not MAJOR.MINOR.PATCH — a version this client cannot compare must refuse, never be "
             "treated as 0.0.0"}};
       },
       "1.2"},
      {"a claimed version that spans lines, unsigned",
       [](auto& r) {
         r.version = "0.1.1\n1 | forged";
         r.faults.omit_signature = true;
       },
       [](const std::string& url) { return UpdateError{UpdateError::NoSignature{url}}; }, "0.1.1 1 | forged"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testkit::TempDir fresh;
    updates = fresh / "updates";
    // An earlier mark and a pin that an accepted release would change.
    ASSERT_TRUE(ensure_updates_dir(updates));
    write_text(high_water_path(updates), high_water_text(1000, "0.0.1", 1000));
    write_text(pin_path(updates), R"({"version": "0.0.1", "pinned_at_ms": 1})");
    const Snapshot before_check = snapshot(updates);

    testkit::Release refused = release("0.1.1", kMark);
    c.change(refused);
    publish(refused);

    const std::uint64_t before = now_ms();
    const auto result = check(host.url());
    const std::uint64_t after = now_ms();
    ASSERT_FALSE(result);
    const UpdateError expected = c.refusal(url());
    EXPECT_EQ(result.error(), expected);
    const auto lines = refusal_lines(updates);
    ASSERT_EQ(lines.size(), 1u);
    expect_refusal_line(lines[0], before, after, url(), c.claimed, error_one_line(expected));

    Snapshot after_check = snapshot(updates);
    after_check.erase("refusals.log");
    EXPECT_EQ(after_check, before_check);
  }
}

TEST_F(NginxChannel, AMissingSignatureLeavesThisLine) {
  publish([] {
    auto r = release("0.1.1", kMark);
    r.faults.omit_signature = true;
    return r;
  }());
  const std::uint64_t before = now_ms();
  ASSERT_FALSE(check(host.url()));
  const std::uint64_t after = now_ms();
  const auto lines = refusal_lines(updates);
  ASSERT_EQ(lines.size(), 1u);
  const std::string expected_url = fmt::format("https://localhost:{}/releases/morvane/stable-intl/release.json",
                                               host.port());
  expect_refusal_line(
      lines[0], before, after, expected_url, "0.1.1",
      fmt::format("the release manifest at {} arrived with no signature — this client installs nothing it cannot "
                  "verify, and there is no unsigned path to fall back to",
                  expected_url));
  // The refused manifest left no mark.
  EXPECT_FALSE(platform::exists(high_water_path(updates)));
}

TEST_F(NginxChannel, RefusalsAccumulate) {
  auto unsigned_release = release("0.1.1", kMark);
  unsigned_release.faults.omit_signature = true;
  publish(unsigned_release);
  ASSERT_FALSE(check(host.url()));
  publish(release("0.1.2", kMark - 5));
  ASSERT_TRUE(check(host.url()));
  publish(release("0.1.3", kMark - 6));
  ASSERT_FALSE(check(host.url()));
  const auto lines = refusal_lines(updates);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_NE(lines[0].find(" | claimed_version=0.1.1 | the release manifest at "), std::string::npos) << lines[0];
  EXPECT_NE(lines[1].find(" | claimed_version=0.1.3 | the release manifest at "), std::string::npos) << lines[1];
}

TEST_F(NginxChannel, APinIsDroppedOnlyByAGreaterRelease) {
  struct Case {
    const char* pin;
    const char* release;
    bool deleted;
  };
  const Case cases[] = {
      {R"({"version": "1.2.3", "pinned_at_ms": 1})", "1.2.4", true},
      {R"({"version": "1.2.3", "pinned_at_ms": 1})", "1.2.3", false},
      {R"({"version": "1.2.3", "pinned_at_ms": 1})", "1.2.2", false},
      {R"({"version": "1.2", "pinned_at_ms": 1})", "1.2.4", false},
      {R"({"version": "1.2.3"})", "1.2.4", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(fmt::format("{} against {}", c.pin, c.release));
    testkit::TempDir fresh;
    updates = fresh / "updates";
    write_text(pin_path(updates), c.pin);
    publish(release(c.release, kMark));
    const auto result = check(host.url());
    // The pin has no other effect: the release is the answer either way.
    ASSERT_TRUE(result) << display_update_error(result.error());
    EXPECT_EQ(result->answer, CheckAnswer::Newer);
    EXPECT_EQ(result->release->manifest.version, c.release);
    if (c.deleted) {
      EXPECT_FALSE(platform::exists(pin_path(updates)));
    } else {
      EXPECT_EQ(read_text(pin_path(updates)), c.pin);
    }
  }
}

TEST_F(NginxChannel, CancelledBeforeTheManifestArrives) {
  publish(release("0.1.1", kMark));
  cancel = true;
  const auto result = check(host.url());
  ASSERT_FALSE(result);
  EXPECT_EQ(result.error(), UpdateError{UpdateError::Cancelled{}});
  EXPECT_FALSE(platform::exists(updates));
}

TEST(ReleaseCheck, AnUnreachableHostWritesNothing) {
  const fetch::ServerUrl nobody{"localhost", "", testkit::free_loopback_port(), true};
  struct Case {
    const char* name;
    std::function<void(const platform::Path& updates)> prepare;
  };
  const Case cases[] = {
      {"no updates folder yet", [](const platform::Path&) {}},
      {"an updates folder with records",
       [](const platform::Path& updates) {
         ASSERT_TRUE(ensure_updates_dir(updates));
         write_text(high_water_path(updates), high_water_text(5, "0.0.1", 5));
         write_text(pin_path(updates), R"({"version": "0.0.1", "pinned_at_ms": 1})");
         write_text(updates / "refusals.log", "earlier\n");
       }},
      {"an updates folder without README.txt",
       [](const platform::Path& updates) { ASSERT_TRUE(platform::create_dirs(updates)); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testkit::TempDir install;
    const platform::Path updates = install / "updates";
    c.prepare(updates);
    const Snapshot before = snapshot(install.path());
    std::atomic<bool> cancel{false};
    const auto result = check_release(nobody, updates, "morvane", "stable-intl", cancel);
    ASSERT_FALSE(result);
    const auto* unreachable = result.error().get<UpdateError::Unreachable>();
    ASSERT_NE(unreachable, nullptr) << display_update_error(result.error());
    EXPECT_EQ(unreachable->context, kManifestPath);
    EXPECT_TRUE(unreachable->message.starts_with(
        fmt::format("cannot reach the training-data server at https://localhost:{}: ", nobody.port)))
        << unreachable->message;
    EXPECT_EQ(snapshot(install.path()), before);
  }
}

}  // namespace
}  // namespace update::testing
