// Atomic whole-file writes for the records that must survive a crash.
#pragma once

#include <string>

#include <tl/expected.hpp>

#include "platform/bytes.hpp"
#include "platform/path.hpp"
#include "update/error.hpp"
#include "update/json/json_error.hpp"

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

// Writes a record's JSON text through write_atomic. A record that could not
// be written as JSON (`json` holds the writer's error: a text that is not
// valid UTF-8) is never written, since an empty or partial record would be
// unreadable: that failure is UpdateError::Io naming the path, with the
// error's display text.
tl::expected<void, UpdateError> write_json_atomic(const platform::Path& path,
                                                  const tl::expected<std::string, JsonError>& json);

}  // namespace update
