// Moving one file's triple forward and back from every state its three
// places can be in.
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "platform/fs.hpp"
#include "testkit/file_fault_interpose.hpp"
#include "testkit/os_codes.hpp"
#include "testkit/temp_dir.hpp"
#include "update/swap/move_triple.hpp"
#include "update/tests/print_update_error.hpp"
#include "update/tests/swap_fixture.hpp"

namespace {

using platform::Path;
using swaptest::content;
using swaptest::put;
using update::MoveTriple;
using update::UpdateError;

// A file's three places below a root: the staged copy sits in a subfolder of
// the pending folder, as a companion's does.
MoveTriple triple(const Path& root) {
  return {root / "app" / "lib" / "a.dll", root / "app" / "lib" / "a.dll.old",
          root / "app" / "updates" / "pending" / "2.0.0" / "lib" / "a.dll"};
}

std::array<Path, 3> places(const MoveTriple& t) { return {t.target, t.aside, t.incoming}; }

// "t a i": each place's content ("live", "old" or "new"), "-" when empty.
void set(const MoveTriple& t, const std::string& state) {
  std::size_t from = 0;
  for (const auto& path : places(t)) {
    const std::size_t to = std::min(state.find(' ', from), state.size());
    const std::string part = state.substr(from, to - from);
    if (part != "-") put(path, part);
    from = to + 1;
  }
}

std::string state(const MoveTriple& t) {
  std::string out;
  for (const auto& path : places(t)) {
    if (!out.empty()) out += ' ';
    out += platform::exists(path) ? content(path) : "-";
  }
  return out;
}

struct Row {
  std::string start;
  std::string forward;
  std::string back;
  // From "- old -" (the new file lost) a first roll_back puts the old file
  // back at target; that state cannot be told from a new file without
  // predecessor that moved in, so a second roll_back carries it to incoming.
  // The repair never rolls such a file back twice (repair_swap_test).
  bool back_twice_same = true;
};

// Target, aside, incoming, holding the live file, its old copy and the
// staged new file.
const std::vector<Row> kRows = {
    {"- - -", "- - -", "- - -"},
    {"- - new", "new - -", "- - new"},
    {"- old -", "old - -", "old - -", false},
    {"- old new", "new old -", "old - new"},
    {"live - -", "live - -", "- - live"},
    {"live - new", "new live -", "live - new"},
    {"live old -", "live old -", "old - live"},
    // A file at every place never moved (moves only shift two files about):
    // the old copy is a stale aside of an earlier swap, and going back
    // leaves the installed file where it is.
    {"live old new", "new live -", "live old new"},
};

TEST(Triple, RollForwardFromEveryStateAndAgainChangesNothingMore) {
  for (const auto& row : kRows) {
    SCOPED_TRACE("from " + row.start);
    testkit::TempDir temp;
    const MoveTriple t = triple(temp.path());
    set(t, row.start);
    ASSERT_TRUE(update::roll_forward(t));
    EXPECT_EQ(state(t), row.forward);
    ASSERT_TRUE(update::roll_forward(t));
    EXPECT_EQ(state(t), row.forward) << "a second roll_forward changed something";
  }
}

TEST(Triple, RollBackFromEveryStateAndAgainChangesNothingMore) {
  for (const auto& row : kRows) {
    SCOPED_TRACE("from " + row.start);
    testkit::TempDir temp;
    const MoveTriple t = triple(temp.path());
    set(t, row.start);
    ASSERT_TRUE(update::roll_back(t));
    EXPECT_EQ(state(t), row.back);
    if (!row.back_twice_same) continue;
    ASSERT_TRUE(update::roll_back(t));
    EXPECT_EQ(state(t), row.back) << "a second roll_back changed something";
  }
}

TEST(Triple, RollBackRemakesAPendingFolderThatHasGone) {
  for (const std::string start : {"new old -", "new - -"}) {
    SCOPED_TRACE(start);
    testkit::TempDir temp;
    const MoveTriple t = triple(temp.path());
    set(t, start);
    const auto removed = platform::remove_dir_all(temp / "app" / "updates");
    ASSERT_TRUE(removed) << removed.error().text();
    ASSERT_TRUE(update::roll_back(t));
    EXPECT_EQ(state(t), start == "new old -" ? "old - new" : "- - new");
  }
}

TEST(Triple, ANewFileInAFolderTheInstallationLacksMovesInAndBack) {
  testkit::TempDir temp;
  const MoveTriple t{temp / "app" / "plugins" / "x" / "p.dll", temp / "app" / "plugins" / "x" / "p.dll.old",
                     temp / "app" / "updates" / "pending" / "2.0.0" / "plugins" / "x" / "p.dll"};
  put(temp / "app" / "morvane.exe", "live");
  put(t.incoming, "new");
  ASSERT_TRUE(update::roll_forward(t));
  EXPECT_EQ(state(t), "new - -");
  ASSERT_TRUE(update::roll_back(t));
  EXPECT_EQ(state(t), "- - new");
}

TEST(Triple, RollBackNamesTheFolderThatCannotBeMade) {
  testkit::TempDir temp;
  const MoveTriple t = triple(temp.path());
  set(t, "new old -");
  // A file where the pending folder's subfolder should be.
  put(t.incoming.parent_path(), "in the way");
  const auto rolled = update::roll_back(t);
  ASSERT_FALSE(rolled);
  ASSERT_TRUE(rolled.error().is<UpdateError::Io>());
  EXPECT_EQ(rolled.error().get<UpdateError::Io>()->at, platform::display(t.incoming.parent_path()));
  EXPECT_EQ(state(t), "new old -") << "nothing moves when the folder cannot be made";
}

// Each failed move names the path that the file was to leave, and stops
// there: what moved before stays moved.
TEST(Triple, AFailedMoveNamesThePathItWasToLeave) {
  struct Case {
    const char* name;
    bool forward;
    std::string start;
    int fail_at;
    int leaving;  // 0 target, 1 aside, 2 incoming
    std::string left;
  };
  const std::vector<Case> cases = {
      {"forward, moving the live file aside", true, "live - new", 0, 0, "live - new"},
      {"forward, moving the new file in", true, "live - new", 1, 2, "- live new"},
      {"forward, putting the old file back", true, "- old -", 0, 1, "- old -"},
      {"back, moving the new file out", false, "new old -", 0, 0, "new old -"},
      {"back, putting the old file back", false, "new old -", 1, 1, "- old new"},
      {"back, a file without predecessor", false, "new - -", 0, 0, "new - -"},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(test.name);
    testkit::TempDir temp;
    const MoveTriple t = triple(temp.path());
    set(t, test.start);
    testkit::file_faults::Scope scope;
    testkit::file_faults::fail_from(test.fail_at);
    const auto rolled = test.forward ? update::roll_forward(t) : update::roll_back(t);
    testkit::file_faults::reset();
    ASSERT_FALSE(rolled);
    ASSERT_TRUE(rolled.error().is<UpdateError::Io>());
    const auto* io = rolled.error().get<UpdateError::Io>();
    EXPECT_EQ(io->at, platform::display(places(t)[test.leaving]));
    EXPECT_EQ(io->message, platform::os_error_text(testkit::os_codes::io_failure));
    EXPECT_EQ(state(t), test.left);
  }
}

TEST(Triple, CompanionPathsAreTargetAsideIncoming) {
  const update::Companion companion{"/m/a.dll", "/m/a.dll.old", "/m/updates/pending/2/a.dll", "/m/park"};
  EXPECT_EQ(update::companion_paths(companion), (MoveTriple{"/m/a.dll", "/m/a.dll.old", "/m/updates/pending/2/a.dll"}));
}

}  // namespace
