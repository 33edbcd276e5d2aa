// The last look before a staged release is installed: its manifest and
// signature read back from the staging folder and verified again, then every
// staged file checked against it.
#pragma once

#include <string_view>

#include <tl/expected.hpp>

#include "platform/path.hpp"
#include "update/check/verify_release.hpp"
#include "update/error.hpp"

namespace setup {

// Reads updates/pending/<version>/release.json and release.json.sig (a
// missing signature counts as none), verifies them for the product and
// channel, and checks every file of the verified manifest by size and
// SHA-256, in the staging folder or, for a file staging kept, in the install
// folder. The answer is the release as verified here: what gets installed.
tl::expected<update::VerifiedRelease, update::UpdateError> reverify_staged(const platform::Path& install_dir,
                                                                           const platform::Path& updates_dir,
                                                                           std::string_view version,
                                                                           std::string_view channel);

}  // namespace setup
