// Putting a staged release into an install folder that holds no product
// executable yet.
#pragma once

#include <string>

#include <tl/expected.hpp>

#include "platform/path.hpp"
#include "update/check/verify_release.hpp"

namespace setup {

// Renames every staged file of the release from updates/pending/<version>
// into the install folder, in list order (a file that staging kept has no
// staged copy and is skipped). When a rename fails, every file already moved
// in is deleted (not moved back), "moving <from> to <to>: <error>" goes to
// setup.log and the answer is the user's sentence naming the target.
// Afterwards the manifest and signature are written to
// updates/history/<version> with plain writes and the staging folder is
// removed; those last steps never fail the install.
tl::expected<void, std::string> install_fresh(const platform::Path& install_dir, const platform::Path& updates_dir,
                                              const update::VerifiedRelease& release);

}  // namespace setup
