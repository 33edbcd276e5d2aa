// Paths. Inside the program a path's text is UTF-8; the conversion to the
// system's own form happens here.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace platform {

using Path = std::filesystem::path;

// The path as displayed: its text in UTF-8 (anything that is not valid text is
// replaced by U+FFFD).
std::string display(const Path& path);

// A path from UTF-8 text.
Path path_from_utf8(std::string_view text);

// The path in the form in which the system compares paths, for telling
// whether two paths name one place: on Windows without a "\\?\" prefix,
// with "\" as its only separator and in upper case, as names compare there
// without regard to letter case; unchanged here, where names are bytes.
Path comparable_path(const Path& path);

}  // namespace platform
