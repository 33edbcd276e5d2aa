// A child process applies a real staged release and is killed with SIGKILL
// just before each of its file operations in turn, as a power cut would stop
// it. After each kill the next run's repair must leave the install folder
// exactly the old release or exactly the new one, compared as whole trees,
// and a second repair must change nothing.
#include <gtest/gtest.h>

#include "platform/fs.hpp"
#include "testkit/crash_child.hpp"
#include "update/apply/apply_staged.hpp"
#include "update/swap/repair_swap.hpp"
#include "update/tests/apply_fixture.hpp"

namespace stagetest {
namespace {

// Runs apply_staged in a child that stops just before its operation number
// `stop`; true when the child was killed there, false when it finished first.
bool apply_killed_before(const Installation& home, const update::VerifiedRelease& release, int stop) {
  const auto killed = testkit::killed_before_operation(
      stop, [&] { return update::apply_staged(home.updates(), home.install(), release, "1.0.0").has_value(); });
  if (!killed) {
    ADD_FAILURE() << killed.error();
    return false;
  }
  return *killed;
}

TEST(ApplyCrash, AKillBeforeAnyOperationIsRepairedToOneWholeRelease) {
  const Bytes exe1 = file_bytes(70000, 111);
  const Bytes dll1 = file_bytes(40000, 112);
  const Bytes pak = file_bytes(20000, 113);
  const StagedUpdate update({{"morvane.exe", exe1}, {"core.dll", dll1}, {"data.pak", pak}},
                            {{"morvane.exe", changed(exe1)},
                             {"core.dll", changed(dll1)},
                             {"data.pak", pak},
                             {"new.txt", file_bytes(3000, 114)}});
  const Tree old_release = update.old_product();
  const Tree new_release = update.new_product();
  bool seen_new = false;
  int stops = 0;
  for (int stop = 0;; ++stop) {
    SCOPED_TRACE("killed before operation " + std::to_string(stop));
    ASSERT_LT(stop, 200) << "the apply never ran to its end";
    const auto home = update.fresh();
    const bool killed = apply_killed_before(*home, update.release(), stop);
    const auto repaired = update::repair_interrupted_swap(home->updates(), home->install());
    ASSERT_TRUE(repaired) << update::display_update_error(repaired.error());
    const Tree after = product(*home);
    const bool is_old = after == old_release;
    const bool is_new = after == new_release;
    ASSERT_TRUE(is_old || is_new) << "neither release:\n" << describe(after);
    EXPECT_FALSE(seen_new && is_old) << "a later stop went back after an earlier one went forward";
    seen_new = seen_new || is_new;
    EXPECT_FALSE(platform::exists(home->updates() / "swap.journal"));

    const Tree whole = snapshot(home->install());
    const auto again = update::repair_interrupted_swap(home->updates(), home->install());
    ASSERT_TRUE(again);
    EXPECT_EQ(snapshot(home->install()), whole) << "a second repair changed something";
    if (!killed) {
      EXPECT_TRUE(is_new);
      break;
    }
    ++stops;
  }
  EXPECT_GT(stops, 10);
}

}  // namespace
}  // namespace stagetest
