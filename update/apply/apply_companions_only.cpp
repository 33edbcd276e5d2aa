// An update that keeps the installed executable: the other staged files move
// in one by one, without a journal, and a failure moves them back at once.
#include <vector>

#include "update/apply/apply_cases.hpp"
#include "update/store/file_moves.hpp"
#include "update/swap/move_triple.hpp"

namespace update::apply {

namespace {

// Puts back, last first, what moved; their own failures cannot be helped and
// are not reported over the one that caused the undo.
void move_back(const std::vector<MoveTriple>& moved) {
  for (auto it = moved.rbegin(); it != moved.rend(); ++it) (void)roll_back(*it);
}

}  // namespace

tl::expected<void, UpdateError> apply_companions_only(const ApplyPlan& plan) {
  std::vector<MoveTriple> moved;
  moved.reserve(plan.companions.size());
  for (const Companion& companion : plan.companions) {
    const MoveTriple paths = companion_paths(companion);
    if (auto removed = remove_stale(paths.aside); !removed) {
      move_back(moved);
      return removed;
    }
    if (auto forward = roll_forward(paths); !forward) {
      // The file that failed may be half moved (its old copy aside, the new
      // one not in): it goes back too, so that no live file is left missing.
      moved.push_back(paths);
      move_back(moved);
      return forward;
    }
    moved.push_back(paths);
  }
  return {};
}

}  // namespace update::apply
