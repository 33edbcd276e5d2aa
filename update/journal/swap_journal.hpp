// The swap journal: the record of a swap in progress, kept as
// updates/swap.journal from the moment staged files begin to move into the
// install folder until every file is in place or back where it was. The
// product's own programs read and replay the same file, so its keys, texts
// and layout are fixed.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <tl/expected.hpp>

#include "platform/path.hpp"
#include "update/error.hpp"
#include "update/json/json_error.hpp"

namespace update {

// The kind of swap. This program writes only Apply; a Rollback journal is
// replayed like an Apply one except that finishing it forward leaves the
// pending folder alone.
enum class SwapKind { Apply, Rollback };

// The last step of the swap that is complete.
enum class SwapStep {
  Begun,            // the journal is written; no file has moved yet
  CompanionsMoved,  // every companion has moved in (written only when there are companions)
  MovedAside,       // and the installed executable has moved from target to aside
  MovedIn,          // and the incoming executable is at target: every file is in place
};

// "apply", "rollback"
std::string_view swap_kind_text(SwapKind kind);
// "begun", "companions_moved", "moved_aside", "moved_in"
std::string_view swap_step_text(SwapStep step);

// One file that moves together with the product's executable. Paths are
// their display text.
struct Companion {
  std::string target;    // the live file in the install folder
  std::string aside;     // where the file found at target waits: target + ".old"
  std::string incoming;  // the staged new file in updates/pending/<version>
  std::optional<std::string> park;  // where the aside file is kept after a forward finish

  bool operator==(const Companion&) const = default;
};

struct SwapJournal {
  SwapKind kind = SwapKind::Apply;
  std::string version;  // the release being swapped in; names updates/pending/<version>
  std::optional<std::string> previous_version;
  std::string target;    // the product's executable in the install folder
  std::string aside;     // target + ".old"
  std::string incoming;  // the staged executable
  std::optional<std::string> park;
  std::vector<Companion> companions;  // in the order in which they move
  SwapStep step = SwapStep::Begun;
  std::string exe_dir;      // the install folder
  std::string updates_dir;  // the updates folder
  // Taken when the record is built; every write of one swap carries it.
  std::int64_t written_at_ms = 0;

  bool operator==(const SwapJournal&) const = default;
};

// The journal's file content: one pretty-printed JSON object with all twelve
// keys in field order, absent texts as null, no newline at the end. Fails
// only for text that is not valid UTF-8.
tl::expected<std::string, JsonError> journal_json(const SwapJournal& journal);

// Replaces updates/swap.journal with the journal through write_atomic. The
// updates folder's README.txt is not written here.
tl::expected<void, UpdateError> write_journal(const platform::Path& updates_dir,
                                              const SwapJournal& journal);

}  // namespace update
