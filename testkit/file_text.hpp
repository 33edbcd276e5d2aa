// A file's whole content as text, for a test to compare with what it
// expects or for a server's log that may not be written yet.
#pragma once

#include <string>

#include "platform/path.hpp"

namespace testkit {

// The file's bytes as text; "<unreadable: why>" when it cannot be read, so
// that a comparison with what the test expects fails and says why.
std::string read_text(const platform::Path& path);

// The file's bytes as text; the empty text when it cannot be read (a log
// that nothing has written yet, say).
std::string read_text_or_empty(const platform::Path& path);

}  // namespace testkit
