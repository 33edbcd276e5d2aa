// The updates folder inside the install folder: the paths of its records
// (their names are in own_file_names.hpp) and the README.txt that explains it
// to people. store/history.hpp writes a release's record into its history.
#pragma once

#include <string_view>

#include <tl/expected.hpp>

#include "platform/path.hpp"
#include "update/error.hpp"

namespace update {

// The explanation written into a new updates folder.
std::string_view updates_readme_text();

// Creates the updates folder with every missing parent, then writes its
// README.txt when nothing of that name is there. An existing README.txt (even
// a folder of that name) is left as it is.
tl::expected<void, UpdateError> ensure_updates_dir(const platform::Path& updates);

// <install folder>/updates: the updates folder of an installation.
platform::Path updates_dir_in(const platform::Path& install_dir);

// True when the path's metadata can be read (a file or a folder).
bool path_exists(const platform::Path& path);

// True for a version that names one folder directly below updates/pending
// (and updates/history): not empty, not "." or "..", free of "/", "\", ":"
// and NUL, so that the folder can neither climb out nor reach a drive, and
// not ending in a point or a blank, which Windows would drop from the name,
// so that it is the folder of no other version.
bool is_plain_folder_name(std::string_view version);

// updates/pending/<version>: a release being staged.
platform::Path pending_dir(const platform::Path& updates, std::string_view version);
// updates/history/<version>: the manifest and signature of an installed release.
platform::Path history_dir(const platform::Path& updates, std::string_view version);
// updates/README.txt
platform::Path readme_path(const platform::Path& updates);
// updates/swap.journal
platform::Path journal_path(const platform::Path& updates);
// updates/rollback.json
platform::Path rollback_path(const platform::Path& updates);
// updates/pinned.json
platform::Path pin_path(const platform::Path& updates);
// updates/highwater.json
platform::Path high_water_path(const platform::Path& updates);
// updates/refusals.log
platform::Path refusals_log_path(const platform::Path& updates);
// updates/staged.log
platform::Path staged_log_path(const platform::Path& updates);
// updates/setup.log
platform::Path setup_log_path(const platform::Path& updates);

}  // namespace update
