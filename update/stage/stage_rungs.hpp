// The five rungs of the staging ladder, tried in this order for each file by
// stage_release (stage_rungs.cpp keeps that order); what they share is in
// stage_context.hpp. Used by stage_release only.
#pragma once

#include <tl/expected.hpp>

#include "update/error.hpp"
#include "update/records/manifest.hpp"
#include "update/stage/stage_context.hpp"

namespace update::stage {

// Rung 1: true when a staged copy with the signed digest was there. A copy
// with another digest is deleted (false). Hashing failures and a failed
// deletion end staging.
tl::expected<bool, UpdateError> reuse_staged_copy(StageContext& context, const FileEntry& entry,
                                                  const EntryPaths& paths);

// Rung 2: true when the installed copy is already this release's file. Any
// failure is a silent false.
bool keep_installed_copy(StageContext& context, const FileEntry& entry, const EntryPaths& paths);

// Rung 3: true when a delta from the installed copy made the file. A refusal
// is logged and gives false, like a rung that does not apply.
bool stage_from_delta(StageContext& context, const FileEntry& entry, const EntryPaths& paths);

// Rung 4: true when the xz artifact decoded to the file. A refusal is logged
// and gives false.
bool stage_from_artifact(StageContext& context, const FileEntry& entry, const EntryPaths& paths);

// Rung 5: the plain file, whose failures end staging.
tl::expected<void, UpdateError> stage_plain_download(StageContext& context, const FileEntry& entry,
                                                     const EntryPaths& paths);

}  // namespace update::stage
