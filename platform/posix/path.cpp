#include "platform/path.hpp"

#include "platform/text.hpp"

namespace platform {

// A POSIX path is bytes; inside the program they are taken as UTF-8.
std::string display(const Path& path) { return utf8_lossy(path.native()); }

Path path_from_utf8(std::string_view text) { return Path(std::string(text)); }

// Names are bytes here and compare as bytes.
Path comparable_path(const Path& path) { return path; }

}  // namespace platform
