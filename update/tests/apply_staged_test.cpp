// Applying a staged release to an installation: with the journal when the
// executable changes, without it when only other files do, and what a
// failure at each step leaves for the next run's repair. Every release here
// was staged for real from nginx; the binary's own moves and removals are
// watched (and some made to fail) through testkit/file_fault_interpose.
#include <gtest/gtest.h>

#include "fetch/digest/sha256.hpp"
#include "platform/fs.hpp"
#include "update/apply/apply_staged.hpp"
#include "update/journal/read_journal.hpp"
#include "update/swap/repair_swap.hpp"
#include "update/tests/apply_fixture.hpp"
#include "update/tests/journal_order.hpp"

namespace stagetest {
namespace {

using update::UpdateError;

const Bytes kExe1 = file_bytes(70000, 101);
const Bytes kExe2 = changed(kExe1);
const Bytes kDll1 = file_bytes(50000, 102);
const Bytes kDll2 = changed(kDll1, 501);
const Bytes kPak = file_bytes(30000, 103);
const Bytes kPak2 = changed(kPak, 301);
const Bytes kNew = file_bytes(2000, 104);

std::string text(const Bytes& bytes) { return platform::to_string(bytes); }

std::string error_text(const tl::expected<void, UpdateError>& result) {
  return result ? std::string("applied") : update::display_update_error(result.error());
}

// What one apply did: every operation, and each journal as it was written.
struct Watched {
  tl::expected<void, UpdateError> result;
  std::vector<std::string> operations;  // relative to the install folder
  std::vector<std::string> journals;    // the content of each journal write
  std::vector<faults::Operation> timeline;
};

Watched apply_watched(const Installation& home, const update::VerifiedRelease& release,
                      const std::optional<std::string>& replaced, faults::Policy fail = nullptr) {
  faults::Scope scope;
  auto journals = std::make_shared<std::vector<std::string>>();
  faults::set_policy([&, journals](const faults::Operation& operation) {
    if (operation.what == "rename" && operation.to == platform::display(home.updates() / "swap.journal")) {
      journals->push_back(content(platform::path_from_utf8(operation.from)));
    }
    return fail ? fail(operation) : faults::Action::Proceed;
  });
  Watched watched{update::apply_staged(home.updates(), home.install(), release, replaced), {}, {}, {}};
  for (const auto& operation : faults::log()) watched.operations.push_back(relative(home, operation));
  watched.journals = *journals;
  watched.timeline = faults::timeline();
  return watched;
}

std::vector<std::string> steps_of(const std::vector<std::string>& journals) {
  std::vector<std::string> steps;
  for (const auto& journal : journals) steps.push_back(json_text_field(journal, "step"));
  return steps;
}

bool mentions(const std::vector<std::string>& operations, const std::string& part) {
  return std::any_of(operations.begin(), operations.end(),
                     [&](const std::string& operation) { return operation.find(part) != std::string::npos; });
}

void expect_history(const Installation& home, const update::VerifiedRelease& release) {
  const Path history = home.updates() / "history" / "2.0.0";
  EXPECT_EQ(names_in(history), (std::vector<std::string>{"release.json", "release.json.sig"}));
  EXPECT_EQ(content(history / "release.json"), text(release.manifest_bytes));
  EXPECT_EQ(content(history / "release.json.sig"), text(release.signature));
}

// Only the executable changes: the journal goes Begun, MovedAside, MovedIn
// (no CompanionsMoved write without companions); the kept files are not
// touched; rollback.json names the replaced build.
TEST(ApplyStaged, AnUpdateOfTheExecutableAloneSwapsItUnderTheJournal) {
  const StagedUpdate update({{"morvane.exe", kExe1}, {"core.dll", kDll1}, {"data.pak", kPak}},
                            {{"morvane.exe", kExe2}, {"core.dll", kDll1}, {"data.pak", kPak}});
  for (const auto& [replaced, recorded] : {std::pair<std::optional<std::string>, std::string>{"1.0.0", "1.0.0"},
                                           {std::nullopt, "unknown"}}) {
    SCOPED_TRACE(recorded);
    const auto home = update.fresh();
    EXPECT_EQ(names_in(home->pending("2.0.0")), (std::vector<std::string>{"morvane.exe", "release.json", "release.json.sig"}));
    const Watched applied = apply_watched(*home, update.release(), replaced);
    ASSERT_TRUE(applied.result) << error_text(applied.result);

    EXPECT_EQ(steps_of(applied.journals), (std::vector<std::string>{"begun", "moved_aside", "moved_in"}));
    for (const auto& journal : applied.journals) {
      EXPECT_NE(journal.find("\"companions\": []"), std::string::npos) << journal;
      EXPECT_EQ(json_text_field(journal, "previous_version"), recorded);
      EXPECT_EQ(json_text_field(journal, "kind"), "apply");
      EXPECT_EQ(json_text_field(journal, "version"), "2.0.0");
    }
    EXPECT_EQ(product(*home), update.new_product()) << describe(product(*home));
    EXPECT_EQ(content(home->installed("morvane.exe.old")), text(kExe1));
    EXPECT_FALSE(platform::exists(home->installed("core.dll.old")));
    EXPECT_FALSE(platform::exists(home->installed("data.pak.old")));
    EXPECT_FALSE(mentions(applied.operations, "core.dll")) << "a kept file was moved";
    EXPECT_FALSE(mentions(applied.operations, "data.pak")) << "a kept file was moved";
    EXPECT_FALSE(platform::exists(home->pending("2.0.0")));
    EXPECT_FALSE(platform::exists(home->updates() / "swap.journal"));

    const std::string rollback = content(home->updates() / "rollback.json");
    EXPECT_EQ(json_text_field(rollback, "version"), recorded);
    EXPECT_EQ(json_text_field(rollback, "file"), "morvane.exe");
    EXPECT_EQ(json_text_field(rollback, "sha256"), fetch::sha256_hex(kExe1));
    EXPECT_NE(rollback.find("\"bytes\": 70000"), std::string::npos) << rollback;
    EXPECT_NE(rollback.find("\"companions\": []"), std::string::npos) << rollback;
    // rollback.json first, then the journal before the first move.
    const auto at = [&](const std::string& operation) {
      return std::find(applied.operations.begin(), applied.operations.end(), operation) - applied.operations.begin();
    };
    EXPECT_LT(at("rename updates/rollback.part -> updates/rollback.json"),
              at("rename updates/swap.part -> updates/swap.journal"));
    EXPECT_LT(at("rename updates/swap.part -> updates/swap.journal"), at("rename morvane.exe -> morvane.exe.old"));
    expect_history(*home, update.release());
  }
}

// A power cut keeps later writes and may lose a rename not yet on the disk,
// which would leave a journal that says more than the files do: each move
// of the update is on the disk before the journal step that records it (and
// before any removal after it), and each journal write before the next move.
TEST(ApplyStaged, EveryMoveIsOnTheDiskBeforeTheJournalSaysSo) {
  const StagedUpdate update({{"morvane.exe", kExe1}, {"core.dll", kDll1}, {"data.pak", kPak}},
                            {{"morvane.exe", kExe2}, {"core.dll", kDll2}, {"data.pak", kPak}, {"new.txt", kNew}});
  const auto home = update.fresh();
  faults::Scope scope;
  const auto applied = update::apply_staged(home->updates(), home->install(), update.release(), "1.0.0");
  ASSERT_TRUE(applied) << error_text(applied);
  const auto timeline = faults::timeline();
  const Path journal = home->updates() / "swap.journal";
  EXPECT_EQ(journaltest::late_changes(timeline, journal), std::vector<std::string>{});
  // rollback.json, four journal writes, core.dll aside and in, new.txt in,
  // the executable aside and in, and the history's two files.
  const auto counted = journaltest::count_renames(timeline, journal);
  EXPECT_EQ(counted.journal_writes, 4);
  EXPECT_EQ(counted.renames, 12);
}

// The executable is kept and two other files change: they move without a
// journal or a rollback record, each replaced file stays at its .old path
// (a stale one is replaced), and the pending folder goes.
TEST(ApplyStaged, AnUpdateThatKeepsTheExecutableMovesTheOthersWithoutAJournal) {
  const StagedUpdate update({{"morvane.exe", kExe1}, {"core.dll", kDll1}, {"data.pak", kPak}, {"notes.txt", kNew}},
                            {{"morvane.exe", kExe1}, {"core.dll", kDll2}, {"data.pak", kPak2}});
  const auto home = update.fresh();
  put(home->installed("core.dll.old"), platform::byte_view("stale"));
  const Watched applied = apply_watched(*home, update.release(), "1.0.0");
  ASSERT_TRUE(applied.result) << error_text(applied.result);
  EXPECT_TRUE(applied.journals.empty());
  EXPECT_FALSE(mentions(applied.operations, "swap.journal"));
  EXPECT_FALSE(mentions(applied.operations, "rollback"));
  EXPECT_FALSE(platform::exists(home->updates() / "rollback.json"));
  EXPECT_FALSE(mentions(applied.operations, "morvane.exe")) << "the kept executable was moved";
  EXPECT_EQ(product(*home), update.new_product()) << describe(product(*home));
  EXPECT_EQ(content(home->installed("core.dll.old")), text(kDll1));
  EXPECT_EQ(content(home->installed("data.pak.old")), text(kPak));
  EXPECT_FALSE(platform::exists(home->pending("2.0.0")));
  expect_history(*home, update.release());
}

TEST(ApplyStaged, AReleaseWhoseEveryFileIsKeptOnlyWritesTheHistory) {
  const StagedUpdate update({{"morvane.exe", kExe1}, {"core.dll", kDll1}}, {{"morvane.exe", kExe1}, {"core.dll", kDll1}});
  const auto home = update.fresh();
  EXPECT_EQ(names_in(home->pending("2.0.0")), (std::vector<std::string>{"release.json", "release.json.sig"}));
  const Watched applied = apply_watched(*home, update.release(), "1.0.0");
  ASSERT_TRUE(applied.result) << error_text(applied.result);
  EXPECT_EQ(product(*home), update.old_product());
  EXPECT_FALSE(mentions(applied.operations, "swap.journal"));
  EXPECT_FALSE(platform::exists(home->updates() / "rollback.json"));
  EXPECT_FALSE(platform::exists(home->pending("2.0.0")));
  expect_history(*home, update.release());
}

// Stale .old files of the files that move are removed before the journal is
// written, and those removals are on the disk by then: were a power cut to
// undo them while the journal survived, the repair would take every stale
// aside for the file it must put back. The .old of a kept file is left
// alone.
TEST(ApplyStaged, StaleAsidesGoBeforeTheJournalIsWritten) {
  const StagedUpdate update({{"morvane.exe", kExe1}, {"core.dll", kDll1}, {"data.pak", kPak}},
                            {{"morvane.exe", kExe2}, {"core.dll", kDll2}, {"data.pak", kPak}});
  const auto home = update.fresh();
  put(home->installed("morvane.exe.old"), platform::byte_view("stale executable"));
  put(home->installed("core.dll.old"), platform::byte_view("stale library"));
  put(home->installed("data.pak.old"), platform::byte_view("stale data"));
  const Watched applied = apply_watched(*home, update.release(), "1.0.0");
  ASSERT_TRUE(applied.result) << error_text(applied.result);
  const auto at = [&](const std::string& operation) {
    const auto found = std::find(applied.operations.begin(), applied.operations.end(), operation);
    EXPECT_NE(found, applied.operations.end()) << operation;
    return found - applied.operations.begin();
  };
  const auto journal = at("rename updates/swap.part -> updates/swap.journal");
  EXPECT_LT(at("unlink morvane.exe.old"), journal);
  EXPECT_LT(at("unlink core.dll.old"), journal);
  EXPECT_LT(at("rename updates/rollback.part -> updates/rollback.json"), at("unlink morvane.exe.old"));
  EXPECT_EQ(journaltest::late_changes(applied.timeline, home->updates() / "swap.journal"), std::vector<std::string>{});
  EXPECT_EQ(steps_of(applied.journals), (std::vector<std::string>{"begun", "companions_moved", "moved_aside", "moved_in"}));
  EXPECT_EQ(content(home->installed("morvane.exe.old")), text(kExe1));
  EXPECT_EQ(content(home->installed("core.dll.old")), text(kDll1));
  EXPECT_EQ(content(home->installed("data.pak.old")), "stale data");
  const std::string rollback = content(home->updates() / "rollback.json");
  EXPECT_NE(rollback.find("\"file\": \"core.dll\""), std::string::npos) << rollback;
  EXPECT_NE(rollback.find(fetch::sha256_hex(kDll1)), std::string::npos) << rollback;
}

// Without a journal, a companion that cannot move makes every companion go
// back at once, the one that failed half way included.
TEST(ApplyStaged, AFailedCompanionMovesTheOthersBack) {
  const StagedUpdate update({{"morvane.exe", kExe1}, {"core.dll", kDll1}, {"data.pak", kPak}},
                            {{"morvane.exe", kExe1}, {"core.dll", kDll2}, {"data.pak", kPak2}});
  struct Case {
    const char* name;
    std::string failing;  // the operation that fails, relative to the install folder
    std::string named;    // the path the error names, relative to the install folder
    bool stale_aside;
  };
  const std::vector<Case> cases = {
      {"the new file cannot move in", "rename updates/pending/2.0.0/data.pak -> data.pak", "updates/pending/2.0.0/data.pak", false},
      {"the old file cannot move aside", "rename data.pak -> data.pak.old", "data.pak", false},
      {"a stale aside cannot be removed", "unlink data.pak.old", "data.pak.old", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto home = update.fresh();
    if (c.stale_aside) put(home->installed("data.pak.old"), platform::byte_view("stale"));
    const Tree before = product(*home);
    const Watched applied = apply_watched(*home, update.release(), "1.0.0", fail_once(*home, c.failing));
    ASSERT_FALSE(applied.result);
    const auto* io = applied.result.error().get<UpdateError::Io>();
    ASSERT_NE(io, nullptr) << error_text(applied.result);
    EXPECT_EQ(io->at, platform::display((home->install() / c.named).make_preferred()));
    EXPECT_EQ(product(*home), before) << describe(product(*home));
    EXPECT_EQ(content(home->pending("2.0.0") / "core.dll"), text(kDll2)) << "the staged copy did not go back";
    EXPECT_EQ(content(home->pending("2.0.0") / "data.pak"), text(kPak2));
    EXPECT_FALSE(platform::exists(home->updates() / "swap.journal"));
    EXPECT_FALSE(platform::exists(home->updates() / "history"));
  }
}

// With the journal, a failure at any step undoes nothing: the journal stays
// as last written, and the next run's repair makes the installation wholly
// one release, whether or not the failed run's pending folder was removed
// (as the installer does after a failure).
TEST(ApplyStaged, AFailureUnderTheJournalIsCompletedOrUndoneByTheRepair) {
  const StagedUpdate update({{"morvane.exe", kExe1}, {"core.dll", kDll1}, {"data.pak", kPak}},
                            {{"morvane.exe", kExe2}, {"core.dll", kDll2}, {"data.pak", kPak}, {"new.txt", kNew}});
  const std::string journal_write = "rename updates/swap.part -> updates/swap.journal";
  // OldWithNewFile: the old release, but the release's one new file (which
  // had no predecessor) stays in the install folder. With the pending folder
  // gone and the journal at begun, the repair cannot tell that file from an
  // installed one that never moved, so it leaves it rather than carry a
  // file of the installed release away.
  enum class Outcome { Old, OldWithNewFile, New };
  struct Case {
    const char* name;
    std::string failing;
    int nth;
    std::string last_step;  // of the journal left behind; empty when none is left
    Outcome kept_pending;   // the repair's outcome with the pending folder kept
    Outcome removed_pending;
  };
  const std::vector<Case> cases = {
      {"a companion's new file cannot move in", "rename updates/pending/2.0.0/core.dll -> core.dll", 0, "begun",
       Outcome::Old, Outcome::Old},
      {"the companions_moved write", journal_write, 1, "begun", Outcome::Old, Outcome::OldWithNewFile},
      {"the executable cannot move aside", "rename morvane.exe -> morvane.exe.old", 0, "companions_moved", Outcome::Old,
       Outcome::Old},
      {"the moved_aside write", journal_write, 2, "companions_moved", Outcome::New, Outcome::Old},
      {"the new executable cannot move in", "rename updates/pending/2.0.0/morvane.exe -> morvane.exe", 0, "moved_aside",
       Outcome::New, Outcome::Old},
      {"the moved_in write", journal_write, 3, "moved_aside", Outcome::New, Outcome::New},
      {"the journal cannot be removed", "unlink updates/swap.journal", 0, "moved_in", Outcome::New, Outcome::New},
  };
  for (const Case& c : cases) {
    for (const bool remove_pending : {false, true}) {
      SCOPED_TRACE(std::string(c.name) + (remove_pending ? ", pending folder removed" : ", pending folder kept"));
      const auto home = update.fresh();
      const Watched applied = apply_watched(*home, update.release(), "1.0.0", fail_once(*home, c.failing, c.nth));
      ASSERT_FALSE(applied.result);
      EXPECT_TRUE(applied.result.error().is<UpdateError::Io>()) << error_text(applied.result);
      auto left = update::read_swap_journal(home->install(), home->updates());
      ASSERT_TRUE(left && *left) << "no journal was left";
      EXPECT_EQ(update::swap_step_text((*left)->step), c.last_step);
      EXPECT_FALSE(platform::exists(home->updates() / "history"));

      if (remove_pending && platform::exists(home->pending("2.0.0"))) {
        ASSERT_TRUE(platform::remove_dir_all(home->pending("2.0.0")));
      }
      const auto repaired = update::repair_interrupted_swap(home->updates(), home->install());
      ASSERT_TRUE(repaired) << update::display_update_error(repaired.error());
      const Outcome expected = remove_pending ? c.removed_pending : c.kept_pending;
      Tree tree = expected == Outcome::New ? update.new_product() : update.old_product();
      if (expected == Outcome::OldWithNewFile) tree["new.txt"] = file_entry(text(kNew));
      EXPECT_EQ(product(*home), tree) << describe(product(*home));
      EXPECT_FALSE(platform::exists(home->updates() / "swap.journal"));
    }
  }
}

TEST(ApplyStaged, AHistoryThatCannotBeWrittenFailsAfterACompleteSwap) {
  const StagedUpdate update({{"morvane.exe", kExe1}}, {{"morvane.exe", kExe2}});
  const auto home = update.fresh();
  const Watched applied = apply_watched(*home, update.release(), "1.0.0",
                                        fail_once(*home, "rename updates/history/2.0.0/release.part -> "
                                                         "updates/history/2.0.0/release.json"));
  ASSERT_FALSE(applied.result);
  EXPECT_TRUE(applied.result.error().is<UpdateError::Io>()) << error_text(applied.result);
  EXPECT_EQ(product(*home), update.new_product());
  EXPECT_FALSE(platform::exists(home->updates() / "swap.journal"));
  EXPECT_FALSE(platform::exists(home->pending("2.0.0")));
}

// Refusals before anything moves: a manifest without the executable, and a
// staged file that is not the signed one any more.
TEST(ApplyStaged, NothingMovesWhenTheStagedReleaseIsRefused) {
  {
    SCOPED_TRACE("no executable in the manifest");
    const StagedUpdate update({{"morvane.exe", kExe1}, {"core.dll", kDll1}}, {{"core.dll", kDll2}});
    const auto home = update.fresh();
    const Watched applied = apply_watched(*home, update.release(), "1.0.0");
    ASSERT_FALSE(applied.result);
    EXPECT_EQ(applied.result.error(),
              (UpdateError{UpdateError::Unusable{
                  platform::display(home->pending("2.0.0")),
                  "the verified manifest for 2.0.0 does not list morvane.exe, so there is nothing here to swap for "
                  "the running binary"}}));
    EXPECT_EQ(product(*home), update.old_product());
    EXPECT_TRUE(applied.operations.empty());
  }
  {
    SCOPED_TRACE("a staged file changed since staging");
    const StagedUpdate update({{"morvane.exe", kExe1}, {"core.dll", kDll1}}, {{"morvane.exe", kExe2}, {"core.dll", kDll2}});
    const auto home = update.fresh();
    put(home->pending("2.0.0") / "core.dll", changed(kDll2));
    const Watched applied = apply_watched(*home, update.release(), "1.0.0");
    ASSERT_FALSE(applied.result);
    const auto* mismatch = applied.result.error().get<UpdateError::HashMismatch>();
    ASSERT_NE(mismatch, nullptr) << error_text(applied.result);
    EXPECT_EQ(mismatch->name, platform::display(home->pending("2.0.0") / "core.dll"));
    EXPECT_EQ(product(*home), update.old_product());
    EXPECT_TRUE(applied.operations.empty());
  }
}

}  // namespace
}  // namespace stagetest
