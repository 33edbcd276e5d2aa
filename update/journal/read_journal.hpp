// Reading the swap journal and checking it before anything is replayed.
#pragma once

#include <optional>

#include <tl/expected.hpp>

#include "platform/path.hpp"
#include "update/error.hpp"
#include "update/journal/swap_journal.hpp"

namespace update {

// The journal in updates/swap.journal: none when there is no such file; the
// journal once it has been read, parsed and every path it would touch found
// inside the write set; or an error. A file that cannot be read is
// UpdateError::Io naming it; one that does not parse, or names a path outside
// the install folder and the updates folder (both this run's, never the
// journal's own exe_dir and updates_dir), is UpdateError::OutsideWriteSet. A
// refused journal is left as it is.
tl::expected<std::optional<SwapJournal>, UpdateError> read_swap_journal(const platform::Path& install_dir,
                                                                        const platform::Path& updates_dir);

// True when the path lies inside the install folder or the updates folder
// (or is one of them), compared whole component by whole component, and has
// no ".." component anywhere.
bool in_write_set(const platform::Path& path, const platform::Path& install_dir,
                  const platform::Path& updates_dir);

}  // namespace update
