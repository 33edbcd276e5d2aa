// The form in which the layer hands a path to the system's file calls.
//
// A plain path stops at MAX_PATH (260 characters) in a program that does not
// declare itself aware of long paths; the extended form ("\\?\C:\..." and
// "\\?\UNC\server\share\...") has no such limit, but the system takes it
// exactly as written: it turns no "/" into "\", resolves no "." or "..", and
// trims no points or blanks. So an absolute path is first normalised as the
// system normalises a plain path, and then given the prefix; the path that
// is displayed stays as the program made it.
#pragma once

#include <string>

#include "platform/path.hpp"

namespace platform::win {

// The extended form of an absolute path ("C:\..." or "\\server\share\...",
// with either separator): "/" as "\", runs of separators as one, "." left
// out and ".." taking the name before it away (never the drive, the server
// or the share), one point taken from the end of each name that a separator
// follows, and every point and blank from the end of the last name. Any
// other path (relative, "C:" without a separator, "\" alone, one in the
// extended or device form already) is given as it is.
std::wstring long_path(const Path& path);

}  // namespace platform::win
