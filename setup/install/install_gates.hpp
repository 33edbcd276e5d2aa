// The installer's own gates on a verified release: not older than this
// setup program, and holding the files the product cannot start without.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/path.hpp"
#include "update/records/manifest.hpp"

namespace setup {

// "morvane.exe" and the seven DLLs, in the order they are checked.
std::vector<std::string> required_file_names();

// None when the release's version is not below config::setup_version (or either
// does not parse); otherwise logs "the server offers <v>, below this
// installer's <own>" and answers the user's sentence.
std::optional<std::string> check_minimum_installer(const platform::Path& install_dir, std::string_view version);

// None when the manifest lists every required name; otherwise logs "the
// verified manifest for <v> does not list <names>" and answers the user's
// sentence, the missing names joined with ", " in the order above.
std::optional<std::string> check_required_files(const platform::Path& install_dir,
                                                const update::ReleaseManifest& manifest);

}  // namespace setup
