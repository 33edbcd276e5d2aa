// The repair's own cases: no journal, a journal it refuses, a journal whose
// executable is lost, and journals whose pending folder has gone since the
// swap stopped.
#include <gtest/gtest.h>

#include "platform/fs.hpp"
#include "testkit/file_fault_interpose.hpp"
#include "update/journal/read_journal.hpp"
#include "update/swap/repair_swap.hpp"
#include "update/tests/journal_order.hpp"
#include "update/tests/print_update_error.hpp"
#include "update/tests/swap_fixture.hpp"

namespace {

using swaptest::content;
using swaptest::Outcome;
using swaptest::Release;
using swaptest::Tree;
using update::UpdateError;

tl::expected<void, UpdateError> repair(const Release& release) {
  return update::repair_interrupted_swap(release.updates(), release.install());
}

// Operations of the fixture's swap: 2 the journal at begun, 4 the first
// companion moved, 5 the second (without predecessor) moved, 8 companions_moved
// written, 10 moved_aside written, 11 the new executable in.
constexpr int kBegun = 2;
constexpr int kFirstCompanionMoved = 4;
constexpr int kNewExecutableIn = 11;

// A power cut keeps later writes and may lose a rename not yet on the disk:
// from every point a swap can stop at, each move of the repair is on the
// disk before its next journal write or removal (the pending folder's, the
// journal's own), and each journal write before the next move.
TEST(Repair, EveryMoveIsOnTheDiskBeforeTheNextJournalStep) {
  int renames = 0;
  int journal_writes = 0;
  for (int done = kBegun; done <= 12; ++done) {
    SCOPED_TRACE("swap stopped after " + std::to_string(done) + " operations");
    Release release;
    release.apply_until(done);
    testkit::file_faults::Scope scope;
    ASSERT_TRUE(repair(release));
    const auto timeline = testkit::file_faults::timeline();
    EXPECT_EQ(journaltest::late_changes(timeline, release.journal_file()), std::vector<std::string>{});
    const auto counted = journaltest::count_renames(timeline, release.journal_file());
    renames += counted.renames;
    journal_writes += counted.journal_writes;
  }
  EXPECT_GT(renames, 20);
  EXPECT_GT(journal_writes, 0);
}

// The update before this one left its .old files, each holding the release
// before that (0.9.0). The apply step removes them before the journal's
// first write; a power cut could once undo those removals and keep the
// journal. From there, and from every later stop of a swap that never
// removed them, the repair ends with the installed release whole (a stale
// aside may stay beside its file; it is never put in place) or the new one.
TEST(Repair, StaleAsidesOfAnEarlierUpdateNeverComeBackIntoPlace) {
  const auto older = [](const std::string& name) { return "0.9.0 " + name; };
  const std::vector<std::string> replaced = {"morvane.exe", "a.dll", "sub/b.dat"};
  for (int done = kBegun; done <= 12; ++done) {
    SCOPED_TRACE("swap stopped after " + std::to_string(done) + " operations");
    Release release;
    for (const auto& name : replaced) swaptest::put(release.install() / (name + ".old"), older(name));
    release.apply_until(done);

    ASSERT_TRUE(repair(release));
    // Forward once the executable had moved aside; the forward finish
    // removes the pending folder.
    if (!platform::exists(release.pending())) {
      release.expect_whole(Outcome::New);
      continue;
    }
    Tree found = release.product();
    for (const auto& name : replaced) {
      const auto aside = found.find(name + ".old");
      if (aside == found.end()) continue;
      EXPECT_EQ(content(release.install() / (name + ".old")), older(name));
      found.erase(aside);
    }
    EXPECT_EQ(found, release.old_product()) << swaptest::describe(release.product());
    EXPECT_EQ(swaptest::snapshot(release.pending()), release.staged());
    EXPECT_FALSE(platform::exists(release.journal_file()));
  }
}

TEST(Repair, WithoutAJournalNothingChanges) {
  Release release;
  const Tree before = swaptest::snapshot(release.root());
  ASSERT_TRUE(repair(release));
  EXPECT_EQ(swaptest::snapshot(release.root()), before);
}

TEST(Repair, ARefusedJournalMovesNothingAndStays) {
  struct Case {
    const char* name;
    std::string text;  // the journal's bytes; empty: the fixture's journal with `incoming` changed
    std::string incoming;
  };
  const std::vector<Case> cases = {
      {"unreadable", "{\"kind\":", ""},
      {"a companion outside the write set", "", "/etc/passwd"},
      {"a companion climbing out with ..", "", "updates/../../../x"},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(test.name);
    Release release;
    release.apply_until(kFirstCompanionMoved);
    if (test.text.empty()) {
      update::SwapJournal journal = release.journal();
      journal.companions[2].incoming = test.incoming[0] == '/'
                                           ? test.incoming
                                           : platform::display(release.install() / test.incoming);
      ASSERT_TRUE(update::write_journal(release.updates(), journal));
    } else {
      swaptest::put(release.journal_file(), test.text);
    }
    const Tree before = swaptest::snapshot(release.root());
    const auto repaired = repair(release);
    ASSERT_FALSE(repaired);
    EXPECT_TRUE(repaired.error().is<UpdateError::OutsideWriteSet>()) << update::display_update_error(repaired.error());
    EXPECT_EQ(swaptest::snapshot(release.root()), before);
  }
}

TEST(Repair, AllThreeExecutablePathsMissingIsIncompleteAndMovesNothing) {
  Release release;
  release.apply_until(kFirstCompanionMoved);
  ASSERT_TRUE(platform::remove_file(release.install() / "morvane.exe"));
  ASSERT_TRUE(platform::remove_file(release.pending() / "morvane.exe"));
  const Tree before = swaptest::snapshot(release.root());

  const auto repaired = repair(release);
  ASSERT_FALSE(repaired);
  const auto exe = [&](const platform::Path& path) { return platform::display(path); };
  EXPECT_EQ(update::display_update_error(repaired.error()),
            "the staged release is incomplete: " + exe(release.install() / "morvane.exe") +
                ", along with both copies that could restore it (" + exe(release.pending() / "morvane.exe") +
                " and " + exe(release.install() / "morvane.exe.old") + "), is missing");
  EXPECT_EQ(swaptest::snapshot(release.root()), before) << "nothing moves and the journal stays";
}

TEST(Repair, UsesThisRunsFoldersNotTheJournals) {
  Release release;
  release.apply_until(kNewExecutableIn);
  update::SwapJournal journal = release.journal();
  journal.step = update::SwapStep::MovedAside;
  journal.exe_dir = "/nowhere/MORVANE";
  journal.updates_dir = "/nowhere/MORVANE/updates";
  ASSERT_TRUE(update::write_journal(release.updates(), journal));
  ASSERT_TRUE(repair(release));
  release.expect_whole(Outcome::New);
}

// The install transaction used to remove the pending folder after a failed
// swap even when the swap left its journal; the product's own programs may
// too, and people may empty the updates folder by hand. Going back must then
// still work, and must never carry a file of the installed release out of the
// install folder for want of its staged copy.
TEST(RepairWithoutPending, TheExecutableNeverCameInSoEverythingGoesBack) {
  Release release;
  release.apply_until(10);  // moved_aside written; moving the new executable in failed
  ASSERT_TRUE(platform::remove_dir_all(release.pending()));

  ASSERT_TRUE(repair(release)) << "a journal whose pending folder is gone must not fail every later run";
  EXPECT_EQ(release.product(), release.old_product()) << swaptest::describe(release.product());
  EXPECT_FALSE(platform::exists(release.journal_file()));
  // The companions' new files went back into a pending folder made again.
  EXPECT_EQ(content(release.pending() / "a.dll"), "release 2.0.0 of a.dll");
  EXPECT_EQ(content(release.pending() / "new.txt"), "release 2.0.0 of new.txt");
  EXPECT_EQ(content(release.pending() / "sub/b.dat"), "release 2.0.0 of sub/b.dat");
}

TEST(RepairWithoutPending, CompanionsThatNeverMovedStayInstalled) {
  Release release;
  release.apply_until(kFirstCompanionMoved);  // a.dll moved; new.txt and sub/b.dat not yet
  ASSERT_TRUE(platform::remove_dir_all(release.pending()));

  ASSERT_TRUE(repair(release));
  EXPECT_EQ(release.product(), release.old_product()) << swaptest::describe(release.product());
  EXPECT_EQ(content(release.install() / "sub/b.dat"), "1.0.0 sub/b.dat");
  EXPECT_FALSE(platform::exists(release.pending() / "sub/b.dat"));
  EXPECT_EQ(content(release.pending() / "a.dll"), "release 2.0.0 of a.dll");
}

// Every stop of the swap, the pending folder then removed, and the repair
// itself stopped after each of its operations and run again: no file of the
// old release is lost and the executable matches its companions.
TEST(RepairWithoutPending, EveryStopEndsWithTheOldReleaseOrTheNew) {
  for (int done = kBegun; done <= 12; ++done) {
    for (int repair_done = 0;; ++repair_done) {
      SCOPED_TRACE("swap stopped after " + std::to_string(done) + ", repair after " + std::to_string(repair_done));
      Release release;
      release.apply_until(done);
      ASSERT_TRUE(platform::remove_dir_all(release.pending()));
      bool finished = false;
      {
        testkit::file_faults::Scope scope;
        testkit::file_faults::fail_from(repair_done);
        finished = repair(release).has_value();
      }
      if (!finished) {
        ASSERT_TRUE(repair(release));
      }

      Tree expected = done < kNewExecutableIn ? release.old_product() : release.new_product();
      Tree found = release.product();
      // Stopped right after new.txt (which had no predecessor) moved in, and
      // with its staged copy gone, nothing tells new.txt from an old file that
      // never moved: it is left where it is rather than risk carrying an old
      // file away.
      if (done == 5) expected["new.txt"] = release.new_product().at("new.txt");
      EXPECT_EQ(found, expected) << swaptest::describe(found);
      EXPECT_FALSE(platform::exists(release.journal_file()));
      const Tree after = swaptest::snapshot(release.root());
      ASSERT_TRUE(repair(release));
      EXPECT_EQ(swaptest::snapshot(release.root()), after) << "a second repair changed something";
      if (finished) break;
      ASSERT_LT(repair_done, 40);
    }
  }
}

}  // namespace
