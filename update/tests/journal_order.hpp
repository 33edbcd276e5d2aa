// What a power cut may not undo: a rename that is not yet on the disk can be
// lost while a later write survives, so every move of a swap must be on the
// disk before the journal says it happened, and every journal write before
// the move that relies on it.
#pragma once

#include <string>
#include <vector>

#include "platform/path.hpp"
#include "testkit/file_fault_interpose.hpp"

namespace journaltest {

// The renames of the timeline (testkit::file_faults::timeline()) that were
// not on the disk in time, as their text: a rename not on the disk before
// the next write of the journal (a rename onto `journal`) or the next removal
// after it, or a write of the journal not on the disk before the next
// operation of any kind after it. Renames after the last of these are
// checked against the timeline's end.
std::vector<std::string> late_renames(const std::vector<testkit::file_faults::Operation>& timeline,
                                      const platform::Path& journal);

// How many renames the timeline holds, and how many of them wrote the
// journal: a check that saw nothing proves nothing.
struct Counted {
  int renames = 0;
  int journal_writes = 0;
};
Counted count_renames(const std::vector<testkit::file_faults::Operation>& timeline, const platform::Path& journal);

}  // namespace journaltest
