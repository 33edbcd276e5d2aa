// Moving a verified, staged release into an existing installation. When the
// release brings a new executable, every file moves under the swap journal
// with the rollback record written first, so that the next run's repair can
// complete or undo a swap that stopped half way; when the installed
// executable was kept, only the other staged files move, and a failure moves
// them back at once. Either way the release's manifest and signature are
// then kept in updates/history/<version> and updates/pending/<version> is
// removed.
#pragma once

#include <optional>
#include <string>

#include <tl/expected.hpp>

#include "platform/path.hpp"
#include "update/check/verify_release.hpp"
#include "update/error.hpp"

namespace update {

// The version written for the replaced build when the installer could not
// read the installed executable's.
inline constexpr std::string_view unknown_replaced_version = "unknown";

// Applies the release staged in updates/pending/<version>, which must hold
// its files (or, for files staging kept, the install folder must) with the
// signed sizes and digests. `replaced_version` is the installed build's
// version as the installer read it from the executable before the update;
// rollback.json and the journal's previous_version carry it, or "unknown".
tl::expected<void, UpdateError> apply_staged(const platform::Path& updates_dir, const platform::Path& install_dir,
                                             const VerifiedRelease& release,
                                             const std::optional<std::string>& replaced_version);

}  // namespace update
