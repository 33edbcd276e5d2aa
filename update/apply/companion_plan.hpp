// What moves when a staged release is applied: the product's executable and
// its companions, the other files that have a staged copy.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/path.hpp"
#include "update/journal/swap_journal.hpp"
#include "update/own_file_names.hpp"
#include "update/records/manifest.hpp"

namespace update {

// "<path>.old": where the file that a swap replaces waits.
platform::Path aside_path_for(const platform::Path& path);

// Walks the manifest's entries from `cursor`: the next entry that is not the
// executable (compared byte for byte) and whose staged copy in the pending
// folder is a regular file gives a companion (target in the install folder,
// aside its ".old" path, incoming the staged copy, no park; every path as
// its display text). `cursor` ends past that entry, or at the end with none.
std::optional<Companion> next_companion(const std::vector<FileEntry>& files, std::size_t& cursor,
                                        const platform::Path& pending, const platform::Path& install);

// Every companion, in the manifest's order. Entries without a staged copy
// (kept in place by staging) are not in it.
std::vector<Companion> companion_plan(const std::vector<FileEntry>& files, const platform::Path& pending,
                                      const platform::Path& install);

// Walks the paths from `cursor`: the next one that is a regular file now.
std::optional<platform::Path> next_existing_path(const std::vector<platform::Path>& paths, std::size_t& cursor);

// Those of the paths that are regular files now, in order.
std::vector<platform::Path> existing_paths(const std::vector<platform::Path>& paths);

}  // namespace update
