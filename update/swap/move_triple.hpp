// Moving one file of a swap between its three places: the live file
// (target), where the old file waits (aside) and the staged new file
// (incoming). Both directions start from whatever state the files are in, so
// either can be repeated after a crash at any point.
#pragma once

#include <tl/expected.hpp>

#include "platform/path.hpp"
#include "update/error.hpp"
#include "update/journal/swap_journal.hpp"

namespace update {

struct MoveTriple {
  platform::Path target;
  platform::Path aside;
  platform::Path incoming;

  bool operator==(const MoveTriple&) const = default;
};

// A companion's (target, aside, incoming) as paths.
MoveTriple companion_paths(const Companion& companion);

// The journal's own triple: the product's executable.
MoveTriple main_paths(const SwapJournal& journal);

// Brings the triple forward: the new file at target, the old one (if any) at
// aside, nothing left at incoming. When the new file is gone and target is
// empty, the old file goes back to target. The folder of target is made when
// the installation does not have it yet (a new file in a new folder).
// Failures are UpdateError::Io naming the path the file was to leave, or the
// folder that could not be made.
tl::expected<void, UpdateError> roll_forward(const MoveTriple& paths);

// Brings the triple back: the old file (if any) at target, the new one at
// incoming, nothing at aside. The folders of incoming are created when they
// are gone (the pending folder may have been removed since the swap began),
// so a backward replay never fails for want of them. A file at target with
// nothing aside and nothing at incoming is taken for a new file without
// predecessor and goes to incoming; that is also what an old file looks like
// once its staged copy is gone, so the repair decides itself whether such a
// file may be rolled back. A triple with a file at each of its three places
// never moved: moves only shift its two files about, so the file at aside is
// the stale copy of an earlier swap (one whose removal a power cut undid),
// and the triple is left as it is, already back.
tl::expected<void, UpdateError> roll_back(const MoveTriple& paths);

}  // namespace update
