// What a power cut may not undo: a rename or a removal that is not yet on
// the disk can be lost while a later write survives, so every move and
// removal of a swap must be on the disk before the journal's next step
// relies on it, and every journal step before the move that relies on it.
#pragma once

#include <string>
#include <vector>

#include "platform/path.hpp"
#include "testkit/file_fault_interpose.hpp"

namespace journaltest {

// The renames and removals of the timeline (testkit::file_faults::timeline())
// that were not on the disk in time, as their text. A journal step is a
// write of the journal (a rename onto `journal`) or its removal; it must be
// on the disk before the next operation of any kind after it. Any other
// rename must be on the disk before the next journal step or the next
// removal after it, any other removal before the next journal step (the
// removals of one folder's content may go together). What comes after the
// last journal step is checked against the timeline's end.
std::vector<std::string> late_changes(const std::vector<testkit::file_faults::Operation>& timeline,
                                      const platform::Path& journal);

// How many renames the timeline holds, and how many of them wrote the
// journal: a check that saw nothing proves nothing.
struct Counted {
  int renames = 0;
  int journal_writes = 0;
};
Counted count_renames(const std::vector<testkit::file_faults::Operation>& timeline, const platform::Path& journal);

}  // namespace journaltest
