// What the staging ladder does with answers and artifacts it must refuse: a
// delta or a plain file whose answer announces another length (from a
// scripted host, since nginx never does that), artifacts that decode to the
// wrong bytes, and a cancel in the middle of a download.
#include <gtest/gtest.h>

#include "fetch/digest/sha256.hpp"
#include "platform/fs.hpp"
#include "testkit/release/scripted_release_host.hpp"
#include "testkit/xz_tool.hpp"
#include "update/stage/stage_release.hpp"
#include "update/tests/stage_fixture.hpp"

namespace stagetest {
namespace {

using update::StagedRelease;
using update::UpdateError;

Bytes xz(platform::ByteView data, std::string_view check = "crc64") {
  auto packed = testkit::xz_compress(data, check);
  EXPECT_TRUE(packed) << packed.error();
  return packed ? *packed : Bytes{};
}

Bytes joined(Bytes first, platform::ByteView second) {
  first.insert(first.end(), second.begin(), second.end());
  return first;
}

std::string cancelled_text() { return update::display_update_error(UpdateError{UpdateError::Cancelled{}}); }

TEST(StageRefusals, ADeltaAnnouncingAnotherLengthGivesWayToTheArtifact) {
  Installation home;
  testkit::TempDir channel;
  const Bytes old_exe = file_bytes(60000, 61);
  const Bytes exe = changed(old_exe);
  const auto release = publish(channel.path(), exe_update(old_exe, exe));
  put(home.installed("morvane.exe"), old_exe);
  const update::FileEntry& entry = release.manifest.files.at(0);
  const std::string delta_target = testkit::channel_target("morvane.exe.from-1.0.0");
  const std::string patch = content(channel.path() / delta_target.substr(1));
  ASSERT_EQ(patch.size(), entry.deltas.at(0).bytes);

  testkit::ScriptedReleaseHost host(channel.path());
  host.answer(delta_target, testkit::reply::declared_length(patch, patch.size() + 5));
  Recorder recorder;
  const auto staged = update::stage_release(home.updates(), host.url(), release, recorder.sink(), home.install());
  ASSERT_TRUE(staged) << error_text(staged);

  const UpdateError refusal{UpdateError::SizeMismatch{delta_target, patch.size(), patch.size() + 5}};
  EXPECT_EQ(staged_log(home.updates()),
            (std::vector<std::string>{
                "2.0.0 · morvane.exe · mvdiff1 refused, the next rung instead: " + update::display_update_error(refusal),
                "2.0.0 · morvane.exe · xz · " + std::to_string(entry.compressed->bytes) + " bytes moved for 60000"}));
  // The delta's answer stopped at its first report, which sent nothing.
  EXPECT_EQ(recorder.lines(), (std::vector<std::string>{"planned 1 files, 60000 bytes",
                                                        "progress of " + std::to_string(entry.compressed->bytes),
                                                        "staged morvane.exe 60000 downloaded"}));
  EXPECT_EQ(host.targets(), (std::vector<std::string>{delta_target, testkit::channel_target("morvane.exe.xz")}));
  EXPECT_EQ(staged->bytes_moved, entry.compressed->bytes);
  EXPECT_EQ(content(home.pending("2.0.0") / "morvane.exe"), platform::to_string(exe));
}

TEST(StageRefusals, APlainFileAnnouncingAnotherLengthEndsStaging) {
  for (const std::uint64_t announced : {3007u, 2999u}) {
    SCOPED_TRACE(announced);
    Installation home;
    testkit::TempDir channel;
    const Bytes file = file_bytes(3000, 62);
    const auto release = publish(channel.path(), {.version = "2.0.0",
                                                  .issued_at_ms = kIssued,
                                                  .files = {{.name = "a.bin", .bytes = file, .xz_check = std::nullopt}}});
    testkit::ScriptedReleaseHost host(channel.path());
    const std::string target = testkit::channel_target("a.bin");
    host.answer(target, testkit::reply::declared_length(platform::to_string(file), announced));
    Recorder recorder;
    const auto staged = update::stage_release(home.updates(), host.url(), release, recorder.sink(), home.install());
    ASSERT_FALSE(staged);
    EXPECT_EQ(staged.error(), (UpdateError{UpdateError::SizeMismatch{target, 3000, announced}}));
    EXPECT_EQ(recorder.lines(), (std::vector<std::string>{"planned 1 files, 3000 bytes", "started a.bin (3000) remote"}));
    EXPECT_EQ(host.targets(), (std::vector<std::string>{target})) << "the ranged fallback was tried";
    EXPECT_FALSE(platform::exists(home.pending("2.0.0") / "a.bin"));
  }
}

// Each artifact below is signed as it is served (its size and digest are
// right), but what it decodes to is not the file, or it is not exactly one
// stream. The part file goes, the refusal is logged, and the plain file is
// downloaded instead.
TEST(StageRefusals, AnArtifactThatDoesNotDecodeToTheFileGivesWayToThePlainFile) {
  const Bytes file = file_bytes(100000, 71);
  const std::string signed_digest = fetch::sha256_hex(file);
  const Bytes half_one(file.begin(), file.begin() + 50000);
  const Bytes half_two(file.begin() + 50000, file.end());
  struct Case {
    const char* name;
    Bytes artifact;  // as signed
    Bytes served;    // as the server has it
    // The refusal, given the part file's path as displayed.
    std::function<UpdateError(const std::string& part)> refusal;
  };
  const auto decoder_refused = [](std::string why) {
    return [why](const std::string& part) {
      return UpdateError{UpdateError::HashMismatch{part, "an xz stream of at most 100000 bytes",
                                                   "the decoder refused it: " + why}};
    };
  };
  std::vector<Case> cases;
  {
    const Bytes longer = xz(joined(file, platform::byte_view("!")));
    cases.push_back({"one byte more than signed", longer, longer,
                     decoder_refused("the output passes the signed size of 100000 bytes")});
  }
  {
    const Bytes shorter = xz(Bytes(file.begin(), file.end() - 1));
    cases.push_back({"one byte less than signed", shorter, shorter, [](const std::string& part) {
                       return UpdateError{UpdateError::SizeMismatch{part, 100000, 99999}};
                     }});
  }
  {
    const Bytes trailing = joined(xz(file), platform::byte_view("junk"));
    cases.push_back({"bytes after the stream", trailing, trailing, decoder_refused("data follows the end of the xz stream")});
  }
  {
    const Bytes two = joined(xz(half_one), xz(half_two));
    cases.push_back({"two streams", two, two, decoder_refused("data follows the end of the xz stream")});
  }
  {
    const Bytes other = xz(changed(file));
    const std::string other_digest = fetch::sha256_hex(changed(file));
    cases.push_back({"another file of the signed size", other, other, [=](const std::string& part) {
                       return UpdateError{UpdateError::HashMismatch{part, signed_digest, other_digest}};
                     }});
  }
  {
    const Bytes sha = xz(file, "sha256");
    cases.push_back({"a SHA-256 integrity check", sha, sha,
                     decoder_refused("the stream's integrity check is SHA-256; only none, CRC32 and CRC64 are accepted")});
  }
  {
    const Bytes good = xz(file);
    Bytes corrupt = good;
    corrupt.back() ^= 0x01;
    const std::string good_digest = fetch::sha256_hex(good);
    const std::string corrupt_digest = fetch::sha256_hex(corrupt);
    cases.push_back({"an artifact that is not the signed one", good, corrupt, [=](const std::string&) {
                       return UpdateError{UpdateError::HashMismatch{"core.dll.xz", good_digest, corrupt_digest}};
                     }});
  }

  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Installation home;
    testkit::TempDir channel;
    testkit::Release published{.version = "2.0.0", .issued_at_ms = kIssued, .files = {{.name = "core.dll", .bytes = file}}};
    published.faults.edit_manifest = [&](update::ReleaseManifest& manifest) {
      manifest.files[0].compressed->bytes = c.artifact.size();
      manifest.files[0].compressed->sha256 = fetch::sha256_hex(c.artifact);
    };
    const auto release = publish(channel.path(), published);
    put(testkit::channel_dir(channel.path()) / "core.dll.xz", c.served);

    testkit::ReleaseHost host(channel.path());
    Recorder recorder;
    const auto staged = update::stage_release(home.updates(), host.url(), release, recorder.sink(), home.install());
    ASSERT_TRUE(staged) << error_text(staged);

    const std::string part = platform::display(home.pending("2.0.0") / "core.dll.part");
    EXPECT_EQ(staged_log(home.updates()),
              (std::vector<std::string>{"2.0.0 · core.dll · xz refused, the plain file instead: " +
                                        update::display_update_error(c.refusal(part))}));
    EXPECT_EQ(recorder.lines(),
              (std::vector<std::string>{"planned 1 files, 100000 bytes", "progress of " + std::to_string(c.served.size()),
                                        "started core.dll (100000) remote", "progress of 100000",
                                        "staged core.dll 100000 downloaded"}));
    EXPECT_EQ(names_in(home.pending("2.0.0")), (std::vector<std::string>{"core.dll", "release.json", "release.json.sig"}));
    EXPECT_EQ(content(home.pending("2.0.0") / "core.dll"), platform::to_string(file));
    EXPECT_EQ(staged->bytes_moved, 100000u) << "a refused artifact was counted";
  }
}

// The cancel flag set during a delta download: the delta and the artifact
// are refused as cancelled, and the plain download's first report ends
// staging.
TEST(StageRefusals, ACancelDuringADeltaEndsAtThePlainDownload) {
  Installation home;
  testkit::TempDir channel;
  const Bytes old_exe = file_bytes(60000, 81);
  const Bytes exe = changed(old_exe);
  const auto release = publish(channel.path(), exe_update(old_exe, exe));
  put(home.installed("morvane.exe"), old_exe);
  const update::FileEntry& entry = release.manifest.files.at(0);
  testkit::ReleaseHost host(channel.path());
  Recorder recorder;
  recorder.on_event = [&](const update::StageEvent& event) {
    if (event.is<update::StageEvent::BytesDone>()) recorder.cancel = true;
  };
  const auto staged = update::stage_release(home.updates(), host.url(), release, recorder.sink(), home.install());
  ASSERT_FALSE(staged);
  EXPECT_EQ(staged.error(), UpdateError{UpdateError::Cancelled{}});
  EXPECT_EQ(recorder.lines(), (std::vector<std::string>{"planned 1 files, 60000 bytes",
                                                        "progress of " + std::to_string(entry.deltas.at(0).bytes),
                                                        "progress of " + std::to_string(entry.compressed->bytes),
                                                        "started morvane.exe (60000) remote", "progress of 60000"}));
  EXPECT_EQ(staged_log(home.updates()),
            (std::vector<std::string>{"2.0.0 · morvane.exe · mvdiff1 refused, the next rung instead: " + cancelled_text(),
                                      "2.0.0 · morvane.exe · xz refused, the plain file instead: " + cancelled_text()}));
  EXPECT_FALSE(platform::exists(home.pending("2.0.0") / "morvane.exe"));
  EXPECT_FALSE(platform::exists(home.pending("2.0.0") / "release.json"));
}

}  // namespace
}  // namespace stagetest
