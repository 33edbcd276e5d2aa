// What a failed install leaves behind: the staging folder goes, and a first
// install takes its whole folder with it, keeping its log aside.
#pragma once

#include <string_view>

#include "platform/path.hpp"

namespace setup {

// Removes updates/pending/<version> with everything in it; errors are
// ignored.
void discard_pending(const platform::Path& updates_dir, std::string_view version);

// The same after a failed swap, except while updates/swap.journal remains:
// the next run's repair moves files back into the staging folder (or
// forward out of it), so the folder stays for it. Answers whether the folder
// was kept.
bool discard_pending_unless_journal(const platform::Path& updates_dir, std::string_view version);

// The tail of every failure from making the install folder on. When the
// folder existed before the run it does nothing. Otherwise it copies
// updates/setup.log (when it is a regular file) to temp_log_path, replacing
// an older copy, then removes the install folder with everything in it;
// every error is ignored.
void remove_failed_install(const platform::Path& install_dir, bool folder_existed);

}  // namespace setup
