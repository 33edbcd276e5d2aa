// Crash recovery: completing or undoing a swap that a journal says did not
// finish. The install transaction runs it at the start of every run, before
// it looks for a release.
#pragma once

#include <tl/expected.hpp>

#include "platform/path.hpp"
#include "update/error.hpp"

namespace update {

// Reads and checks updates/swap.journal (nothing to do when there is none),
// decides from the files on disk whether the swap goes forward or back,
// moves every file that way and finishes the swap, which removes the journal.
// Both folders are this run's; the journal's own exe_dir and updates_dir are
// not consulted. Any failure leaves the journal for the next run, which starts
// again from the files as they are; running it again after it stopped
// anywhere ends in the same place as one uninterrupted run.
tl::expected<void, UpdateError> repair_interrupted_swap(const platform::Path& updates_dir,
                                                        const platform::Path& install_dir);

}  // namespace update
