// Atomic whole-file writes for the records that must survive a crash.
#pragma once

#include <tl/expected.hpp>

#include "platform/bytes.hpp"
#include "platform/path.hpp"
#include "update/error.hpp"

namespace update {

// The sibling through which `path` is written: the last component's extension
// (what follows its last dot, unless that dot is the component's first
// character or the component is "..") replaced by "part", or ".part" appended
// when there is none. swap.journal -> swap.part, release.json.sig ->
// release.json.part, README -> README.part, .bashrc -> .bashrc.part.
platform::Path part_path_for(const platform::Path& path);

// Replaces the file's whole content: the bytes go to the part file, are
// flushed to the disk, and the part file is renamed onto the target. A crash
// leaves the old content or the new one. Failures name the parent folder (it
// cannot be created), the part file (it cannot be created, written, flushed or
// renamed) or the target (it is something other than a file and cannot be
// removed). On a failure the part file stays; the next write to a target that
// shares it truncates it.
tl::expected<void, UpdateError> write_atomic(const platform::Path& path, platform::ByteView bytes);

}  // namespace update
