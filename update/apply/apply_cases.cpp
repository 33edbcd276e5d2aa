// The two ways a staged release moves in, in the order apply_staged chooses
// between them.
#include "update/apply/apply_cases.hpp"

#include <string>
#include <vector>

#include "platform/fs.hpp"
#include "update/apply/companion_plan.hpp"
#include "update/store/clock.hpp"
#include "update/store/file_moves.hpp"
#include "update/store/updates_dir.hpp"
#include "update/swap/finish_swap.hpp"
#include "update/swap/move_triple.hpp"
#include "update/swap/rollback_record.hpp"

namespace update::apply {

namespace {

std::vector<platform::Path> companion_targets(const std::vector<Companion>& companions) {
  std::vector<platform::Path> targets;
  targets.reserve(companions.size());
  for (const Companion& companion : companions) targets.push_back(platform::path_from_utf8(companion.target));
  return targets;
}

// Puts back, last first, what moved; their own failures cannot be helped and
// are not reported over the one that caused the undo.
void move_back(const std::vector<MoveTriple>& moved) {
  for (auto it = moved.rbegin(); it != moved.rend(); ++it) (void)roll_back(*it);
}

}  // namespace

// A swap that replaces the product's executable, under the journal: the
// rollback record first, then the journal before the first move, then one
// journal write after each step, so that a stop anywhere leaves a state that
// the next run's repair completes or undoes.
tl::expected<void, UpdateError> apply_with_journal(const ApplyPlan& plan, std::string_view replaced_version) {
  std::optional<std::string> previous_version;
  if (path_exists(plan.exe.target)) {
    auto record = write_rollback(plan.updates_dir, plan.exe.target, replaced_version,
                                 existing_paths(companion_targets(plan.companions)));
    if (!record) return tl::unexpected(std::move(record.error()));
    previous_version = record->version;
  }

  // Each stale aside is gone from the disk before the journal is written:
  // were a power cut to bring one back under a journal that says begun, the
  // repair would take it for the file to put back in place.
  if (auto removed = remove_stale(plan.exe.aside); !removed) return removed;
  for (const Companion& companion : plan.companions) {
    if (auto removed = remove_stale(platform::path_from_utf8(companion.aside)); !removed) return removed;
  }

  SwapJournal journal{
      .kind = SwapKind::Apply,
      .version = std::string(plan.version),
      .previous_version = previous_version,
      .target = platform::display(plan.exe.target),
      .aside = platform::display(plan.exe.aside),
      .incoming = platform::display(plan.exe.incoming),
      .park = std::nullopt,
      .companions = plan.companions,
      .step = SwapStep::Begun,
      .exe_dir = platform::display(plan.install_dir),
      .updates_dir = platform::display(plan.updates_dir),
      .written_at_ms = static_cast<std::int64_t>(now_ms()),
  };
  if (auto ready = ensure_updates_dir(plan.updates_dir); !ready) return ready;
  if (auto written = write_journal(plan.updates_dir, journal); !written) return written;

  // From here on nothing is undone on a failure: the journal as last
  // written tells the next run's repair where the swap stopped.
  if (!plan.companions.empty()) {
    for (const Companion& companion : plan.companions) {
      if (auto moved = roll_forward(companion_paths(companion)); !moved) return moved;
    }
    journal.step = SwapStep::CompanionsMoved;
    if (auto written = write_journal(plan.updates_dir, journal); !written) return written;
  }

  // An installation without its executable has nothing to set aside.
  if (path_exists(plan.exe.target)) {
    if (auto moved = move_file(plan.exe.target, plan.exe.aside); !moved) return moved;
  }
  journal.step = SwapStep::MovedAside;
  if (auto written = write_journal(plan.updates_dir, journal); !written) return written;

  if (auto moved = move_file(plan.exe.incoming, plan.exe.target); !moved) return moved;
  journal.step = SwapStep::MovedIn;
  if (auto written = write_journal(plan.updates_dir, journal); !written) return written;

  return finish_swap(plan.updates_dir, journal, SwapDirection::Forward);
}

// An update that keeps the installed executable: the other staged files move
// in one by one, without a journal, and a failure moves them back at once.
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
