// A swap that replaces the product's executable, under the journal: the
// rollback record first, then the journal before the first move, then one
// journal write after each step, so that a stop anywhere leaves a state that
// the next run's repair completes or undoes.
#include <string>
#include <vector>

#include "platform/fs.hpp"
#include "update/apply/apply_cases.hpp"
#include "update/apply/companion_plan.hpp"
#include "update/store/clock.hpp"
#include "update/store/file_moves.hpp"
#include "update/store/updates_dir.hpp"
#include "update/swap/finish_swap.hpp"
#include "update/swap/rollback_record.hpp"

namespace update::apply {

namespace {

std::vector<platform::Path> companion_targets(const std::vector<Companion>& companions) {
  std::vector<platform::Path> targets;
  targets.reserve(companions.size());
  for (const Companion& companion : companions) targets.push_back(platform::path_from_utf8(companion.target));
  return targets;
}

}  // namespace

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

}  // namespace update::apply
