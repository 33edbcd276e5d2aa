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

}  // namespace platform
