// The staging ladder against a real channel: nginx over HTTPS with the test
// PKI, serving a release that the publisher made with the real xz tool and
// the delta maker. Each rung is shown settling a file, with the exact events,
// staged.log lines, requests and staged folder it leaves.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>

#include "fetch/digest/sha256.hpp"
#include "platform/fs.hpp"
#include "testkit/file_fault_interpose.hpp"
#include "update/stage/stage_release.hpp"
#include "update/stage/verify_staged.hpp"
#include "update/tests/stage_fixture.hpp"

namespace stagetest {
namespace {

using update::StagedRelease;
using update::UpdateError;

const update::FileEntry& entry_named(const update::VerifiedRelease& release, const std::string& name) {
  const auto* entry = update::find_file_entry(release.manifest.files, name);
  EXPECT_NE(entry, nullptr) << name;
  static const update::FileEntry none;
  return entry != nullptr ? *entry : none;
}

TEST(StageLadder, EachRungSettlesTheFileItIsCheapestFor) {
  Installation home;
  testkit::TempDir channel;
  const Bytes res = file_bytes(70000, 1);
  const Bytes pak = file_bytes(50000, 2);
  const Bytes old_exe = file_bytes(100000, 3);
  const Bytes exe = changed(old_exe);
  const Bytes dll = file_bytes(80000, 5);
  const Bytes notes = file_bytes(3000, 6);
  const auto release = publish(
      channel.path(),
      {.version = "2.0.0",
       .issued_at_ms = kIssued,
       .files = {{.name = "res.bin", .bytes = res},
                 {.name = "data.pak", .bytes = pak},
                 {.name = "morvane.exe", .bytes = exe},
                 {.name = "core.dll", .bytes = dll},
                 {.name = "notes.txt", .bytes = notes, .xz_check = std::nullopt}},
       .earlier = {{"1.0.0", {{.name = "morvane.exe", .bytes = old_exe}, {.name = "data.pak", .bytes = file_bytes(50000, 9)}}}}});
  // res.bin was staged by an earlier run; data.pak is installed as this
  // release has it; morvane.exe is installed at 1.0.0.
  put(home.pending("2.0.0") / "res.bin", res);
  put(home.installed("data.pak"), pak);
  put(home.installed("morvane.exe"), old_exe);
  const std::uint64_t patch = entry_named(release, "morvane.exe").deltas.at(0).bytes;
  const std::uint64_t packed = entry_named(release, "core.dll").compressed->bytes;

  testkit::ReleaseHost host(channel.path());
  Recorder recorder;
  const auto staged = update::stage_release(home.updates(), host.url(), release, recorder.sink(), home.install());
  ASSERT_TRUE(staged) << error_text(staged);

  EXPECT_EQ(*staged, (StagedRelease{"2.0.0", home.pending("2.0.0"), patch + packed + notes.size(), 2}));
  EXPECT_EQ(recorder.lines(), (std::vector<std::string>{
                                  "planned 5 files, " + std::to_string(res.size() + pak.size() + exe.size() +
                                                                       dll.size() + notes.size()) + " bytes",
                                  "started res.bin (70000) local",
                                  "progress of 70000",
                                  "staged res.bin 70000 reused",
                                  "staged data.pak 50000 reused",
                                  "progress of " + std::to_string(patch),
                                  "staged morvane.exe 100000 downloaded",
                                  "progress of " + std::to_string(packed),
                                  "staged core.dll 80000 downloaded",
                                  "started notes.txt (3000) remote",
                                  "progress of 3000",
                                  "staged notes.txt 3000 downloaded",
                              }));
  EXPECT_TRUE(recorder.progress_runs_complete());
  EXPECT_EQ(staged_log(home.updates()),
            (std::vector<std::string>{
                "2.0.0 · data.pak · kept: the installed file is this release's",
                "2.0.0 · morvane.exe · mvdiff1 from 1.0.0 · " + std::to_string(patch) + " bytes moved for 100000",
                "2.0.0 · core.dll · xz · " + std::to_string(packed) + " bytes moved for 80000",
            }));
  EXPECT_EQ(answered_requests(host), (std::vector<std::string>{
                                         "GET " + request_path("morvane.exe.from-1.0.0") + " 200",
                                         "GET " + request_path("core.dll.xz") + " 200",
                                         "GET " + request_path("notes.txt") + " 200",
                                     }));

  // The kept file stays where it is; the others are staged whole, with the
  // manifest and its signature beside them.
  const Path pending = home.pending("2.0.0");
  EXPECT_EQ(names_in(pending), (std::vector<std::string>{"core.dll", "morvane.exe", "notes.txt", "release.json",
                                                         "release.json.sig", "res.bin"}));
  EXPECT_EQ(content(pending / "morvane.exe"), platform::to_string(exe));
  EXPECT_EQ(content(pending / "core.dll"), platform::to_string(dll));
  EXPECT_EQ(content(pending / "notes.txt"), platform::to_string(notes));
  EXPECT_EQ(content(pending / "release.json"), platform::to_string(release.manifest_bytes));
  EXPECT_EQ(content(pending / "release.json.sig"), platform::to_string(release.signature));
  EXPECT_EQ(content(home.installed("data.pak")), platform::to_string(pak));

  // The kept file is found through the install folder, and only through it.
  EXPECT_TRUE(update::verify_staged(pending, release.manifest.files, home.install()));
  const auto without = update::verify_staged(pending, release.manifest.files, std::nullopt);
  ASSERT_FALSE(without);
  EXPECT_EQ(without.error(), (UpdateError{UpdateError::Incomplete{platform::display(pending / "data.pak")}}));
}

// The swap that follows moves staged files into place and writes a journal
// that relies on them, so staging leaves each one on the disk, by every rung
// that writes one: its bytes flushed before it is renamed into place, and
// the rename on the disk by the time staging answers.
TEST(StageLadder, EveryStagedFileIsOnTheDiskWhenStagingAnswers) {
  Installation home;
  testkit::TempDir channel;
  const Bytes old_exe = file_bytes(100000, 3);
  const auto release = publish(channel.path(),
                               {.version = "2.0.0",
                                .issued_at_ms = kIssued,
                                .files = {{.name = "morvane.exe", .bytes = changed(old_exe)},
                                          {.name = "core.dll", .bytes = file_bytes(80000, 5)},
                                          {.name = "notes.txt", .bytes = file_bytes(3000, 6), .xz_check = std::nullopt}},
                                .earlier = {{"1.0.0", {{.name = "morvane.exe", .bytes = old_exe}}}}});
  put(home.installed("morvane.exe"), old_exe);
  testkit::ReleaseHost host(channel.path());
  Recorder recorder;
  testkit::file_faults::Scope scope;
  const auto staged = update::stage_release(home.updates(), host.url(), release, recorder.sink(), home.install());
  ASSERT_TRUE(staged) << error_text(staged);
  const auto timeline = testkit::file_faults::timeline();

  const auto comparable = [](const std::string& text) { return platform::comparable_path(platform::path_from_utf8(text)); };
  std::vector<std::string> staged_names;
  for (std::size_t at = 0; at < timeline.size(); ++at) {
    const auto& rename = timeline[at];
    if (rename.what != "rename") continue;
    const Path to = platform::path_from_utf8(rename.to);
    if (comparable(platform::display(to.parent_path())) != platform::comparable_path(home.pending("2.0.0"))) continue;
    staged_names.push_back(platform::display(to.filename()));
    SCOPED_TRACE(rename.text());
    const bool flushed = std::any_of(timeline.begin(), timeline.begin() + static_cast<std::ptrdiff_t>(at),
                                     [&](const auto& op) { return op.what == "sync" && comparable(op.from) == comparable(rename.from); });
    EXPECT_TRUE(flushed) << "its bytes were not flushed before the rename";
    EXPECT_TRUE(testkit::file_faults::on_disk_before(timeline, at, timeline.size())) << "the rename was not on the disk";
  }
  // The delta's, the artifact's and the plain file's, then the manifest and
  // its signature.
  EXPECT_EQ(staged_names, (std::vector<std::string>{"morvane.exe", "core.dll", "notes.txt", "release.json",
                                                    "release.json.sig"}));
}

// A second run after a cancelled one takes what the first staged; a third,
// with everything staged, asks the server for nothing and logs nothing.
TEST(StageLadder, AnotherRunReusesWhatACancelledRunStaged) {
  Installation home;
  testkit::TempDir channel;
  const Bytes first = file_bytes(90000, 11);
  const Bytes second = file_bytes(40000, 12);
  const auto release = publish(channel.path(), {.version = "2.0.0",
                                                .issued_at_ms = kIssued,
                                                .files = {{.name = "first.bin", .bytes = first, .xz_check = std::nullopt},
                                                          {.name = "second.bin", .bytes = second, .xz_check = std::nullopt}}});
  testkit::ReleaseHost host(channel.path());

  Recorder cancelled;
  cancelled.on_event = [&](const update::StageEvent& event) {
    if (event.is<update::StageEvent::FileStaged>()) cancelled.cancel = true;
  };
  const auto stopped = update::stage_release(home.updates(), host.url(), release, cancelled.sink(), home.install());
  ASSERT_FALSE(stopped);
  EXPECT_EQ(stopped.error(), UpdateError{UpdateError::Cancelled{}});
  EXPECT_EQ(cancelled.lines(), (std::vector<std::string>{"planned 2 files, 130000 bytes",
                                                         "started first.bin (90000) remote", "progress of 90000",
                                                         "staged first.bin 90000 downloaded"}));
  EXPECT_EQ(answered_requests(host), (std::vector<std::string>{"GET " + request_path("first.bin") + " 200"}));
  EXPECT_EQ(names_in(home.pending("2.0.0")), (std::vector<std::string>{"first.bin"}));

  Recorder again;
  const auto resumed = update::stage_release(home.updates(), host.url(), release, again.sink(), home.install());
  ASSERT_TRUE(resumed) << error_text(resumed);
  EXPECT_EQ(again.lines(), (std::vector<std::string>{"planned 2 files, 130000 bytes", "started first.bin (90000) local",
                                                     "progress of 90000", "staged first.bin 90000 reused",
                                                     "started second.bin (40000) remote", "progress of 40000",
                                                     "staged second.bin 40000 downloaded"}));
  EXPECT_EQ(resumed->bytes_moved, 40000u);
  EXPECT_EQ(resumed->reused, 1u);
  const auto after_second = answered_requests(host);
  ASSERT_EQ(after_second.size(), 2u);
  EXPECT_EQ(after_second[1], "GET " + request_path("second.bin") + " 200");

  Recorder third;
  const auto all_staged = update::stage_release(home.updates(), host.url(), release, third.sink(), home.install());
  ASSERT_TRUE(all_staged) << error_text(all_staged);
  EXPECT_EQ(third.lines(), (std::vector<std::string>{"planned 2 files, 130000 bytes", "started first.bin (90000) local",
                                                     "progress of 90000", "staged first.bin 90000 reused",
                                                     "started second.bin (40000) local", "progress of 40000",
                                                     "staged second.bin 40000 reused"}));
  EXPECT_TRUE(third.progress_runs_complete());
  EXPECT_EQ(all_staged->bytes_moved, 0u);
  EXPECT_EQ(all_staged->reused, 2u);
  EXPECT_EQ(answered_requests(host).size(), 2u) << "the third run asked the server";
  EXPECT_FALSE(platform::exists(home.updates() / "staged.log"));
}

TEST(StageLadder, AStagedCopyWithAnotherDigestIsDeletedAndFetchedAgain) {
  Installation home;
  testkit::TempDir channel;
  const Bytes file = file_bytes(20000, 21);
  const auto release = publish(channel.path(), {.version = "2.0.0",
                                                .issued_at_ms = kIssued,
                                                .files = {{.name = "a.bin", .bytes = file, .xz_check = std::nullopt}}});
  put(home.pending("2.0.0") / "a.bin", changed(file));
  testkit::ReleaseHost host(channel.path());
  Recorder recorder;
  const auto staged = update::stage_release(home.updates(), host.url(), release, recorder.sink(), home.install());
  ASSERT_TRUE(staged) << error_text(staged);
  EXPECT_EQ(recorder.lines(), (std::vector<std::string>{"planned 1 files, 20000 bytes", "started a.bin (20000) local",
                                                        "progress of 20000", "started a.bin (20000) remote",
                                                        "progress of 20000", "staged a.bin 20000 downloaded"}));
  EXPECT_EQ(content(home.pending("2.0.0") / "a.bin"), platform::to_string(file));
  EXPECT_EQ(staged->reused, 0u);
}

// A staged copy that cannot be read (here a folder stands in its place)
// ends staging: the hashing failure names the entry.
TEST(StageLadder, AStagedCopyThatCannotBeReadEndsStaging) {
  Installation home;
  testkit::TempDir channel;
  const auto release = publish(channel.path(), {.version = "2.0.0",
                                                .issued_at_ms = kIssued,
                                                .files = {{.name = "a.bin", .bytes = file_bytes(5000, 22)}}});
  ASSERT_TRUE(platform::create_dirs(home.pending("2.0.0") / "a.bin" / "inside"));
  testkit::ReleaseHost host(channel.path());
  Recorder recorder;
  const auto staged = update::stage_release(home.updates(), host.url(), release, recorder.sink(), home.install());
  ASSERT_FALSE(staged);
  const auto* unreachable = staged.error().get<UpdateError::Unreachable>();
  ASSERT_NE(unreachable, nullptr) << error_text(staged);
  EXPECT_EQ(unreachable->context, "a.bin");
  EXPECT_NE(unreachable->message.find(platform::display(home.pending("2.0.0") / "a.bin")), std::string::npos)
      << unreachable->message;
  EXPECT_EQ(recorder.lines(), (std::vector<std::string>{"planned 1 files, 5000 bytes", "started a.bin (5000) local"}));
  EXPECT_TRUE(answered_requests(host).empty());
}

// An installed copy of the signed size but another digest is not kept; the
// delta that starts from it is chosen only when it is listed as "mvdiff1"
// with its from_sha256 in lower case.
TEST(StageLadder, TheDeltaIsChosenOnlyByItsExactFormatAndDigest) {
  struct Case {
    const char* name;
    std::function<void(update::ReleaseManifest&)> edit;
    bool delta_used;
  };
  const auto upper = [](std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
  };
  const std::vector<Case> cases = {
      {"listed as mvdiff1 from the installed digest", nullptr, true},
      {"listed as MVDIFF1", [](update::ReleaseManifest& m) { m.files[0].deltas[0].format = "MVDIFF1"; }, false},
      {"from_sha256 in upper case",
       [&](update::ReleaseManifest& m) { m.files[0].deltas[0].from_sha256 = upper(m.files[0].deltas[0].from_sha256); },
       false},
  };
  const Bytes old_exe = file_bytes(60000, 31);
  const Bytes exe = changed(old_exe);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Installation home;
    testkit::TempDir channel;
    testkit::Release published = exe_update(old_exe, exe);
    published.faults.edit_manifest = c.edit;
    const auto release = publish(channel.path(), published);
    put(home.installed("morvane.exe"), old_exe);
    const update::FileEntry& entry = release.manifest.files.at(0);
    testkit::ReleaseHost host(channel.path());
    Recorder recorder;
    const auto staged = update::stage_release(home.updates(), host.url(), release, recorder.sink(), home.install());
    ASSERT_TRUE(staged) << error_text(staged);
    EXPECT_EQ(content(home.pending("2.0.0") / "morvane.exe"), platform::to_string(exe));
    if (c.delta_used) {
      EXPECT_EQ(staged_log(home.updates()),
                (std::vector<std::string>{"2.0.0 · morvane.exe · mvdiff1 from 1.0.0 · " +
                                          std::to_string(entry.deltas[0].bytes) + " bytes moved for 60000"}));
      EXPECT_EQ(answered_requests(host),
                (std::vector<std::string>{"GET " + request_path("morvane.exe.from-1.0.0") + " 200"}));
      EXPECT_EQ(staged->bytes_moved, entry.deltas[0].bytes);
    } else {
      EXPECT_EQ(staged_log(home.updates()),
                (std::vector<std::string>{"2.0.0 · morvane.exe · xz · " + std::to_string(entry.compressed->bytes) +
                                          " bytes moved for 60000"}));
      EXPECT_EQ(answered_requests(host), (std::vector<std::string>{"GET " + request_path("morvane.exe.xz") + " 200"}));
      EXPECT_EQ(staged->bytes_moved, entry.compressed->bytes);
    }
    EXPECT_EQ(staged->reused, 0u);
  }
}

// staged.log cannot be opened (a folder has its name): the kept file is
// still kept and staging ends as usual.
TEST(StageLadder, StagingGoesOnWhenStagedLogCannotBeWritten) {
  Installation home;
  testkit::TempDir channel;
  const Bytes file = file_bytes(4000, 41);
  const auto release =
      publish(channel.path(), {.version = "2.0.0", .issued_at_ms = kIssued, .files = {{.name = "a.bin", .bytes = file}}});
  put(home.installed("a.bin"), file);
  ASSERT_TRUE(platform::create_dirs(home.updates() / "staged.log"));
  testkit::ReleaseHost host(channel.path());
  Recorder recorder;
  const auto staged = update::stage_release(home.updates(), host.url(), release, recorder.sink(), home.install());
  ASSERT_TRUE(staged) << error_text(staged);
  EXPECT_EQ(staged->reused, 1u);
  EXPECT_EQ(recorder.lines(), (std::vector<std::string>{"planned 1 files, 4000 bytes", "staged a.bin 4000 reused"}));
  EXPECT_TRUE(platform::metadata(home.updates() / "staged.log")->is_dir);
}

// When the updates folder or the staging folder cannot be made, staging
// ends before its first event.
TEST(StageLadder, NoEventWhenTheFoldersCannotBeMade) {
  struct Case {
    const char* name;
    const char* blocked;  // a file put where a folder must go, below the install folder
    const char* named;    // the path the error names, below the install folder
  };
  for (const Case c : {Case{"updates is a file", "updates", "updates"},
                       Case{"updates/pending is a file", "updates/pending", "updates/pending/2.0.0"}}) {
    SCOPED_TRACE(c.name);
    Installation home;
    put(home.install() / c.blocked, platform::byte_view("in the way"));
    update::VerifiedRelease release;
    release.manifest.version = "2.0.0";
    Recorder recorder;
    const auto staged = update::stage_release(home.updates(), fetch::ServerUrl{"localhost", "", 9, true}, release,
                                              recorder.sink(), home.install());
    ASSERT_FALSE(staged);
    const auto* io = staged.error().get<UpdateError::Io>();
    ASSERT_NE(io, nullptr) << error_text(staged);
    EXPECT_EQ(io->at, platform::display((home.install() / c.named).make_preferred()));
    EXPECT_TRUE(recorder.events().empty());
  }
}

}  // namespace
}  // namespace stagetest
