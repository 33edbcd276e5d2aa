#include "update/swap/repair_swap.hpp"

#include <fmt/format.h>

#include "platform/fs.hpp"
#include "update/journal/read_journal.hpp"
#include "update/store/file_moves.hpp"
#include "update/store/updates_dir.hpp"
#include "update/swap/finish_swap.hpp"
#include "update/swap/move_triple.hpp"

namespace update {

namespace {

using Result = tl::expected<void, UpdateError>;

// Records the direction in the journal before the move that settles it.
// Once the executable is at target, a later run reads the direction from the
// step alone, so a repair stopped right after that move must find the step
// already saying which way it went.
Result record_step(const platform::Path& updates_dir, SwapJournal& journal, SwapStep step) {
  if (journal.step == step) return {};
  journal.step = step;
  return write_journal(updates_dir, journal);
}

bool reads_forward(SwapStep step) { return step == SwapStep::MovedAside || step == SwapStep::MovedIn; }

// Decides the direction from the executable's three paths, moving the
// executable when target is empty.
tl::expected<SwapDirection, UpdateError> settle_executable(const platform::Path& updates_dir,
                                                           SwapJournal& journal) {
  const MoveTriple exe = main_paths(journal);
  if (path_exists(exe.target)) {
    // MovedAside with the executable at target: the apply step stopped after
    // moving the new executable in but before recording it, so every file is
    // in place and the swap goes forward.
    return reads_forward(journal.step) ? SwapDirection::Forward : SwapDirection::Back;
  }
  if (path_exists(exe.incoming)) {
    if (!reads_forward(journal.step)) {
      if (auto recorded = record_step(updates_dir, journal, SwapStep::MovedAside); !recorded) {
        return tl::unexpected(recorded.error());
      }
    }
    if (auto moved = move_file(exe.incoming, exe.target); !moved) return tl::unexpected(moved.error());
    return SwapDirection::Forward;
  }
  if (path_exists(exe.aside)) {
    if (reads_forward(journal.step)) {
      const SwapStep back = journal.companions.empty() ? SwapStep::Begun : SwapStep::CompanionsMoved;
      if (auto recorded = record_step(updates_dir, journal, back); !recorded) {
        return tl::unexpected(recorded.error());
      }
    }
    if (auto moved = move_file(exe.aside, exe.target); !moved) return tl::unexpected(moved.error());
    return SwapDirection::Back;
  }
  return tl::unexpected(UpdateError{UpdateError::Incomplete{
      fmt::format("{}, along with both copies that could restore it ({} and {}),", journal.target,
                  journal.incoming, journal.aside)}});
}

// Whether the apply step is known to have moved companion `index` in. Once
// every companion has moved the step says so; before that the companions
// move in list order and the executable after them, so a later one that has
// been touched (its old file aside) or whose staged copy is still there (the
// pending folder is intact, so a staged copy that is missing was moved in)
// shows it.
bool known_moved_in(const SwapJournal& journal, std::size_t index) {
  if (journal.step != SwapStep::Begun) return true;
  for (std::size_t later = index + 1; later < journal.companions.size(); ++later) {
    const MoveTriple paths = companion_paths(journal.companions[later]);
    if (path_exists(paths.aside) || path_exists(paths.incoming)) return true;
  }
  const MoveTriple exe = main_paths(journal);
  return path_exists(exe.aside) || path_exists(exe.incoming);
}

// A file at target with nothing aside and no staged copy is either a new file
// (no predecessor) that moved in, or an old file that never moved whose staged
// copy has gone with the pending folder. Only the first goes back to pending;
// when that cannot be told, the file stays where it is, so no file of the
// installed release is ever carried out of the install folder.
bool may_roll_back(const SwapJournal& journal, std::size_t index) {
  const MoveTriple paths = companion_paths(journal.companions[index]);
  const bool ambiguous =
      !path_exists(paths.aside) && path_exists(paths.target) && !path_exists(paths.incoming);
  return !ambiguous || known_moved_in(journal, index);
}

Result move_companions(const SwapJournal& journal, SwapDirection direction) {
  for (std::size_t i = 0; i < journal.companions.size(); ++i) {
    const MoveTriple paths = companion_paths(journal.companions[i]);
    if (direction == SwapDirection::Forward) {
      if (auto rolled = roll_forward(paths); !rolled) return rolled;
    } else if (may_roll_back(journal, i)) {
      if (auto rolled = roll_back(paths); !rolled) return rolled;
    }
  }
  return {};
}

}  // namespace

tl::expected<void, UpdateError> repair_interrupted_swap(const platform::Path& updates_dir,
                                                        const platform::Path& install_dir) {
  auto read = read_swap_journal(install_dir, updates_dir);
  if (!read) return tl::unexpected(std::move(read.error()));
  if (!*read) return {};
  SwapJournal journal = std::move(**read);

  const auto direction = settle_executable(updates_dir, journal);
  if (!direction) return tl::unexpected(direction.error());
  if (auto moved = move_companions(journal, *direction); !moved) return moved;
  return finish_swap(updates_dir, journal, *direction);
}

}  // namespace update
