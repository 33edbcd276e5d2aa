// Moving and removing the updater's files one at a time, each failure an
// UpdateError::Io naming the path: the steps that a swap, its finish and an
// apply are made of.
#pragma once

#include <tl/expected.hpp>

#include "platform/path.hpp"
#include "update/error.hpp"

namespace update {

// Moves the file at `from` onto `to` with the system's rename, which
// replaces what is there and is on the disk when it answers
// (platform::rename_replace). A failure names `from`.
tl::expected<void, UpdateError> move_file(const platform::Path& from, const platform::Path& to);

// Removes a file, or a folder with everything in it, that stands at the
// path (platform::remove_entry), on the disk when it answers; nothing there
// is fine. A failure names the path.
tl::expected<void, UpdateError> remove_stale(const platform::Path& path);

}  // namespace update
