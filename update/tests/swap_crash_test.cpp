// A swap stopped at every point a crash can leave it, then repaired: the
// installation must come out as wholly the old release or wholly the new one,
// with nothing lost, and a second repair must change nothing. The stops are
// made three ways: at the named steps of the apply sequence, by failing each
// single file operation in turn (for the swap and for the repair itself), and
// by killing a child process with SIGKILL in the middle of its moves.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/fs.hpp"
#include "testkit/crash_child.hpp"
#include "testkit/file_fault_interpose.hpp"
#include "update/journal/read_journal.hpp"
#include "update/swap/repair_swap.hpp"
#include "update/tests/swap_fixture.hpp"

namespace {

using swaptest::Outcome;
using swaptest::Release;
using swaptest::Tree;

// The moves and journal removals of one uninterrupted swap of the fixture,
// in order. Removing the pending folder adds the removals of its entries
// between the last two, in the order the system lists them.
const std::vector<std::string> kApplyMoves = {
    "rename updates/rollback.part -> updates/rollback.json",
    "rename updates/swap.part -> updates/swap.journal",  // begun
    "rename a.dll -> a.dll.old",
    "rename updates/pending/2.0.0/a.dll -> a.dll",
    "rename updates/pending/2.0.0/new.txt -> new.txt",
    "rename sub/b.dat -> sub/b.dat.old",
    "rename updates/pending/2.0.0/sub/b.dat -> sub/b.dat",
    "rename updates/swap.part -> updates/swap.journal",  // companions_moved
    "rename morvane.exe -> morvane.exe.old",
    "rename updates/swap.part -> updates/swap.journal",  // moved_aside
    "rename updates/pending/2.0.0/morvane.exe -> morvane.exe",
    "rename updates/swap.part -> updates/swap.journal",  // moved_in
    "unlink updates/swap.journal",
};

// The operation log with the install folder's path taken out.
std::vector<std::string> relative_log(const Release& release) {
  const std::string prefix = platform::display(release.install()) + "/";
  std::vector<std::string> out;
  for (const auto& operation : testkit::file_faults::log()) {
    std::string entry = operation.text();
    for (auto at = entry.find(prefix); at != std::string::npos; at = entry.find(prefix)) entry.erase(at, prefix.size());
    out.push_back(entry);
  }
  return out;
}

bool is_move_or_journal_removal(const std::string& entry) {
  return entry.rfind("rename ", 0) == 0 || entry.rfind("unlink ", 0) == 0;
}

// Every file operation of one uninterrupted swap, as a dry run logs it.
const std::vector<std::string>& apply_log() {
  static const std::vector<std::string> log = [] {
    Release release;
    testkit::file_faults::Scope scope;
    EXPECT_TRUE(release.apply());
    return relative_log(release);
  }();
  return log;
}

int total_operations() { return static_cast<int>(apply_log().size()); }

// The number of operations done once the first `moves` entries of
// kApplyMoves are done (and nothing after them).
int operations_after_moves(int moves) {
  int seen = 0;
  for (int i = 0; i < total_operations(); ++i) {
    if (seen == moves) return i;
    if (is_move_or_journal_removal(apply_log()[i])) ++seen;
  }
  return total_operations();
}

// Builds the state that a crash after `done` operations of the swap leaves.
void crash_after(const Release& release, int done) {
  release.apply_until(done);
  ASSERT_EQ(platform::exists(release.journal_file()), done >= operations_after_moves(2) && done < total_operations());
}

// The whole root, the updates folder's leftovers included.
Tree everything(const Release& release) { return swaptest::snapshot(release.root()); }

void repair_and_expect(const Release& release, Outcome outcome) {
  const auto repaired = update::repair_interrupted_swap(release.updates(), release.install());
  ASSERT_TRUE(repaired) << update::display_update_error(repaired.error());
  release.expect_whole(outcome);
  const Tree after = everything(release);
  ASSERT_TRUE(update::repair_interrupted_swap(release.updates(), release.install()));
  EXPECT_EQ(everything(release), after) << "a second repair changed something";
}

// Until the executable has left its place the swap goes back; from then on
// it goes forward.
Outcome outcome_after(int done) { return done <= operations_after_moves(8) ? Outcome::Old : Outcome::New; }

TEST(SwapCrash, TheSwapMakesTheseOperationsInThisOrder) {
  std::vector<std::string> moves;
  for (const auto& entry : apply_log()) {
    if (is_move_or_journal_removal(entry)) moves.push_back(entry);
  }
  EXPECT_EQ(moves, kApplyMoves);
  // Between the moved_in write and the journal's removal: the pending folder's
  // remaining entries (release.json, release.json.sig, sub) and the folder.
  EXPECT_EQ(total_operations(), static_cast<int>(kApplyMoves.size()) + 4);
}

struct NamedStop {
  const char* name;
  int moves;      // entries of kApplyMoves complete at the stop
  int removals;   // and removals inside the pending folder after them
  std::vector<std::string> present;
  std::vector<std::string> absent;
};

void PrintTo(const NamedStop& stop, std::ostream* out) { *out << stop.name; }

class SwapStoppedAt : public testing::TestWithParam<NamedStop> {};

TEST_P(SwapStoppedAt, RepairLeavesOneWholeRelease) {
  const NamedStop& stop = GetParam();
  Release release;
  const int done = operations_after_moves(stop.moves) + stop.removals;
  crash_after(release, done);
  for (const auto& name : stop.present) EXPECT_TRUE(platform::exists(release.install() / name)) << name;
  for (const auto& name : stop.absent) EXPECT_FALSE(platform::exists(release.install() / name)) << name;
  repair_and_expect(release, outcome_after(done));
}

const std::string kPending = "updates/pending/2.0.0/";

INSTANTIATE_TEST_SUITE_P(
    ApplySteps, SwapStoppedAt,
    testing::Values(
        NamedStop{"BeforeTheRollbackRecord", 0, 0, {}, {"updates/rollback.json", "updates/swap.journal"}},
        NamedStop{"RollbackRecordWrittenNoJournalYet", 1, 0, {"updates/rollback.json"}, {"updates/swap.journal"}},
        NamedStop{"BegunWritten", 2, 0, {"updates/swap.journal", "a.dll"}, {"a.dll.old"}},
        NamedStop{"FirstCompanionHalfMovedOldAsideNewNotIn", 3, 0, {"a.dll.old", kPending + "a.dll"}, {"a.dll"}},
        NamedStop{"FirstCompanionMoved", 4, 0, {"a.dll", "a.dll.old"}, {kPending + "a.dll"}},
        NamedStop{"SecondCompanionWithoutPredecessorMoved", 5, 0, {"new.txt"}, {"new.txt.old", kPending + "new.txt"}},
        NamedStop{"ThirdCompanionHalfMoved", 6, 0, {"sub/b.dat.old"}, {"sub/b.dat"}},
        NamedStop{"EveryCompanionMovedCompanionsMovedNotWritten", 7, 0, {"sub/b.dat", "sub/b.dat.old"}, {kPending + "sub/b.dat"}},
        NamedStop{"CompanionsMovedWritten", 8, 0, {"morvane.exe"}, {"morvane.exe.old"}},
        NamedStop{"ExecutableAsideMovedAsideNotWritten", 9, 0, {"morvane.exe.old", kPending + "morvane.exe"}, {"morvane.exe"}},
        NamedStop{"MovedAsideWritten", 10, 0, {"morvane.exe.old"}, {"morvane.exe"}},
        NamedStop{"NewExecutableInMovedInNotWritten", 11, 0, {"morvane.exe", "morvane.exe.old"}, {kPending + "morvane.exe"}},
        NamedStop{"MovedInWritten", 12, 0, {"morvane.exe", "updates/pending/2.0.0"}, {}},
        NamedStop{"PendingPartlyRemovedMovedInWritten", 12, 1, {"updates/swap.journal"}, {}},
        NamedStop{"PendingRemovedJournalNot", 12, 4, {"updates/swap.journal"}, {"updates/pending/2.0.0"}}),
    [](const testing::TestParamInfo<NamedStop>& info) { return std::string(info.param.name); });

// A repair stopped after each of its own operations, then run again from
// whatever it left, ends where one uninterrupted repair ends.
TEST(SwapCrash, RepairStoppedAfterEachOfItsOperationsStillEndsWhole) {
  for (int done = operations_after_moves(2); done < total_operations(); ++done) {
    for (int repair_done = 0;; ++repair_done) {
      SCOPED_TRACE("swap stopped after " + std::to_string(done) + " operations, repair after " +
                   std::to_string(repair_done));
      Release release;
      crash_after(release, done);
      bool finished = false;
      {
        testkit::file_faults::Scope scope;
        testkit::file_faults::fail_from(repair_done);
        const auto stopped = update::repair_interrupted_swap(release.updates(), release.install());
        finished = stopped.has_value();
        if (!finished) {
          ASSERT_TRUE(stopped.error().is<update::UpdateError::Io>()) << update::display_update_error(stopped.error());
          ASSERT_TRUE(platform::exists(release.journal_file())) << "a stopped repair dropped the journal";
          // Whatever the repair wrote into the journal, only its step changed.
          const auto left = update::read_swap_journal(release.install(), release.updates());
          ASSERT_TRUE(left && left->has_value());
          update::SwapJournal original = release.journal();
          original.step = (*left)->step;
          EXPECT_EQ(**left, original);
        }
      }
      if (finished) {
        release.expect_whole(outcome_after(done));
        break;
      }
      repair_and_expect(release, outcome_after(done));
      ASSERT_LT(repair_done, 40) << "the repair never finished";
    }
  }
}

// A child process runs the swap (or the repair) and is killed with SIGKILL
// just before its operation number `stop`. True when it was killed, false when
// it ran to the end first.
bool run_child_killed_before(int stop, const std::function<void()>& work) {
  const auto killed = testkit::killed_before_operation(stop, [&] {
    work();
    return true;
  });
  if (!killed) {
    ADD_FAILURE() << killed.error();
    return false;
  }
  return *killed;
}

TEST(SwapCrash, KilledChildSwapsAreRepairedAtEveryPoint) {
  int kills = 0;
  for (int stop = 0;; ++stop) {
    SCOPED_TRACE("killed before operation " + std::to_string(stop));
    Release release;
    const bool killed = run_child_killed_before(stop, [&] { (void)release.apply(); });
    if (!killed) {
      release.expect_whole(Outcome::New);
      break;
    }
    ++kills;
    repair_and_expect(release, outcome_after(stop));
  }
  EXPECT_EQ(kills, total_operations());
}

TEST(SwapCrash, KilledChildRepairsAreRepairedAgainAtEveryPoint) {
  for (int done = operations_after_moves(2); done < total_operations(); ++done) {
    for (int stop = 0;; ++stop) {
      SCOPED_TRACE("swap killed before operation " + std::to_string(done) + ", repair killed before " +
                   std::to_string(stop));
      Release release;
      ASSERT_TRUE(run_child_killed_before(done, [&] { (void)release.apply(); }));
      const bool killed = run_child_killed_before(
          stop, [&] { (void)update::repair_interrupted_swap(release.updates(), release.install()); });
      if (!killed) {
        release.expect_whole(outcome_after(done));
        break;
      }
      repair_and_expect(release, outcome_after(done));
    }
  }
}

}  // namespace
