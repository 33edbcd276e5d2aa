// The last look at the staged files before they are installed: every file of
// the release, by size and SHA-256.
#pragma once

#include <optional>
#include <vector>

#include <tl/expected.hpp>

#include "platform/path.hpp"
#include "update/error.hpp"
#include "update/records/manifest.hpp"

namespace update {

// For each entry in list order: the file in `folder`, or, when it is not
// there and a fallback folder is given, the fallback's regular file of that
// name (an installed copy that staging kept). The first failure is returned:
// UpdateError::Incomplete when neither exists, UpdateError::Io when its
// metadata cannot be read, then UpdateError::SizeMismatch, then (after
// hashing, whose failure is the fetch error mapped for the entry's path)
// UpdateError::HashMismatch, each naming the chosen path. Sends no event,
// writes no log line and ignores any cancel flag.
tl::expected<void, UpdateError> verify_staged(const platform::Path& folder, const std::vector<FileEntry>& files,
                                              const std::optional<platform::Path>& fallback);

}  // namespace update
