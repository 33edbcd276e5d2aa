// A folder or a file removed by a hidden `cmd` a few seconds after it is
// started, so that what still holds it when its program ends (the running
// uninstaller's own file, the web view's processes) has let go of it by
// then.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include <tl/expected.hpp>

#include "platform/io_error.hpp"
#include "platform/path.hpp"

namespace setup {

struct DelayedRemoval {
  // Where cmd runs: the folder's parent.
  platform::Path working_dir;
  // cmd's arguments: "/d", "/v:off", "/c" and
  // `ping -n <N> 127.0.0.1 >nul & rmdir /s /q "<name>"` for a folder,
  // `ping -n <N> 127.0.0.1 >nul & del /f /q "<name>"` for a file.
  std::vector<std::string> args;
};

// The removal of `folder` after `echo_requests` echo requests to the local
// address, one second apart (a pause of one second less than their number).
//
// The folder's path never stands in cmd's text, where cmd would expand a
// %NAME% in it even between quotes (a profile named p%TEMP%q): cmd runs in
// the folder's parent and is given the folder's own name. /d keeps the
// user's AutoRun commands from running first (one that changes the folder
// would send the removal elsewhere); /v:off reads a ! as itself whatever the
// user's registry says.
//
// None when the folder has no parent or its name holds anything but ASCII
// letters, digits, '-', '_' and '.' (the install folder is MORVANE, the web
// view's data folder morvane-setup-<process id>).
std::optional<DelayedRemoval> delayed_removal(const platform::Path& folder, int echo_requests);

// The same for one file, which `del /f /q` takes by its name (read-only or
// not); none on the same terms.
std::optional<DelayedRemoval> delayed_file_removal(const platform::Path& file, int echo_requests);

// Starts the removal hidden and does not wait for it.
tl::expected<void, platform::IoError> start_delayed_removal(const DelayedRemoval& removal);

}  // namespace setup
