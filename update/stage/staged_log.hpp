// updates/staged.log: one line per decision of the keep, delta and xz rungs.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/path.hpp"

namespace update {

// "<now_ms> · <version> · <path> · <text>" and a line feed (the separators
// are a blank, U+00B7 and a blank).
std::string staged_log_line(std::uint64_t at_ms, std::string_view version, std::string_view path,
                            std::string_view text);

// Appends the line for now to updates/staged.log, creating the file but not
// the folder. Never fails: a line that cannot be written is dropped.
void log_staged(const platform::Path& updates_dir, std::string_view version, std::string_view path,
                std::string_view text);

}  // namespace update
