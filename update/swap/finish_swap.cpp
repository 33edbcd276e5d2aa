#include "update/swap/finish_swap.hpp"

#include <string>
#include <vector>

#include "platform/fs.hpp"
#include "update/store/file_moves.hpp"
#include "update/store/updates_dir.hpp"
#include "update/swap/rollback_record.hpp"

namespace update {

namespace {

using Result = tl::expected<void, UpdateError>;

// Moves the aside file to the park, replacing whatever is parked there.
Result park_aside(const std::string& aside_text, const std::string& park_text) {
  const platform::Path aside = platform::path_from_utf8(aside_text);
  const platform::Path park = platform::path_from_utf8(park_text);
  if (!path_exists(aside)) return {};
  if (auto removed = remove_stale(park); !removed) return removed;
  return move_file(aside, park);
}

Result park_files(const platform::Path& updates_dir, const SwapJournal& journal) {
  if (auto parked = park_aside(journal.aside, *journal.park); !parked) return parked;

  std::vector<platform::Path> parked_companions;
  for (const Companion& companion : journal.companions) {
    if (!companion.park) continue;
    if (auto parked = park_aside(companion.aside, *companion.park); !parked) return parked;
    const platform::Path park = platform::path_from_utf8(*companion.park);
    if (path_exists(park)) parked_companions.push_back(park);
  }

  const platform::Path park = platform::path_from_utf8(*journal.park);
  if (!path_exists(park)) return {};
  auto written = write_rollback(updates_dir, park, journal.previous_version.value_or("unknown"), parked_companions);
  if (!written) return tl::unexpected(std::move(written.error()));
  return {};
}

}  // namespace

tl::expected<void, UpdateError> finish_swap(const platform::Path& updates_dir, const SwapJournal& journal,
                                            SwapDirection direction) {
  if (direction == SwapDirection::Forward && journal.park) {
    if (auto parked = park_files(updates_dir, journal); !parked) return parked;
  }

  // Each removal below is on the disk when it answers (the updates folder is
  // flushed after it), so no power cut brings the journal back over a
  // finished swap, or the pending folder back under a removed journal.
  if (direction == SwapDirection::Forward && journal.kind == SwapKind::Apply) {
    const platform::Path pending = pending_dir(updates_dir, journal.version);
    if (path_exists(pending)) {
      if (auto removed = platform::remove_dir_all(pending); !removed) {
        return tl::unexpected(io_error_at(pending, removed.error()));
      }
    }
  }

  const platform::Path journal_file = journal_path(updates_dir);
  if (path_exists(journal_file)) {
    if (auto removed = platform::remove_file(journal_file); !removed) {
      return tl::unexpected(io_error_at(journal_file, removed.error()));
    }
  }
  return {};
}

}  // namespace update
