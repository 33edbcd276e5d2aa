// The installed uninstaller: a copy of the running setup program in the
// install folder as uninstall.exe.
#pragma once

#include <string>
#include <string_view>

#include <tl/expected.hpp>

#include "platform/path.hpp"

namespace setup {

// Copies the running program onto <install folder>/uninstall.exe: into the
// sibling uninstall.part, then moved over the old uninstaller, which stays
// whole until the new one is complete; a failed copy or move removes the
// sibling. Nothing is copied when the running program is that file (the same
// file, whatever path leads to it). The failure text is the error's own when
// the running program's path is not available, else "The uninstaller could
// not be written: <error>".
tl::expected<void, std::string> copy_uninstaller(const platform::Path& install_dir);

// copy_uninstaller with the running program's path given.
tl::expected<void, std::string> copy_uninstaller_from(const platform::Path& running_program,
                                                      const platform::Path& install_dir);

}  // namespace setup
