// What a test reads back from the disk: a folder's files, a file's text,
// setup.log's entries.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/bytes.hpp"
#include "platform/path.hpp"
#include "testkit/file_text.hpp"

namespace setup_test {

// Every regular file below a folder, by its path relative to it, with its
// bytes.
std::map<std::string, platform::Bytes> tree_of(const platform::Path& folder);

// A file's text, or the empty text when it cannot be read (a log that is not
// written yet, say).
inline std::string read_text(const platform::Path& path) { return testkit::read_text_or_empty(path); }

// setup.log's lines with the time in front of each taken away.
std::vector<std::string> log_texts(const platform::Path& log);

}  // namespace setup_test
