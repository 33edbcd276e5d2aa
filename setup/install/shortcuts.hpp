// The product's two shortcuts, in the Start menu and on the desktop, made
// with PowerShell's WScript.Shell.
#pragma once

#include <string>
#include <vector>

#include <tl/expected.hpp>

#include "platform/path.hpp"
#include "setup/common/hidden_command.hpp"

namespace setup {

// The Start menu's %APPDATA%\Microsoft\Windows\Start Menu\Programs\Morvane.lnk,
// then the desktop's %USERPROFILE%\Desktop\Morvane.lnk. The variables are
// taken as they are (an empty one counts as set, and gives a relative path).
// Fails with "This computer gives no APPDATA folder." or "This computer gives
// no USERPROFILE folder." (USERPROFILE is not read when APPDATA is missing).
tl::expected<std::vector<platform::Path>, std::string> shortcut_paths();

// The path as displayed with every apostrophe doubled, and each of the
// typographic single quotes ‘ ’ ‚ ‛ too (PowerShell ends a single-quoted
// string at any of them), for a single-quoted PowerShell string.
std::string quote_for_powershell(const platform::Path& path);

// The one-line script that saves the shortcut at `shortcut` to `target`,
// working in `working_dir`.
std::string shortcut_script(const platform::Path& shortcut, const platform::Path& target,
                            const platform::Path& working_dir);

// Makes both shortcuts to the product's executable, in order, working in its
// folder. The first failure ends it ("A shortcut could not be made: <error
// or the command's trimmed standard error>", or "... powershell made no
// <shortcut>" when powershell ended well but the file is not there); a
// shortcut made stays. The shortcuts' folders are not created.
tl::expected<void, std::string> make_shortcuts(const platform::Path& product_exe);
tl::expected<void, std::string> make_shortcuts_with(const platform::HiddenRunner& run,
                                                    const platform::Path& product_exe);

}  // namespace setup
