// updates/refusals.log: one line for every manifest that the release check
// refused, appended, never read back by the program.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/path.hpp"
#include "update/error.hpp"

namespace update {

// "<now_ms> | <url> | claimed_version=<version> | <error on one line>\n";
// the claimed version is "unknown" when empty. A claimed version comes from
// bytes nobody vouched for, so it is put on one line first: every run of
// white space or control characters becomes one blank and the ends are
// trimmed.
std::string refusal_line(std::uint64_t now_ms, std::string_view url, std::string_view claimed_version,
                         const UpdateError& error);

// Appends the refusal's line (with now_ms) to refusals.log, creating the
// updates folder and the file when they are missing. Never fails: a folder
// or file that cannot be written drops the line.
void log_refusal(const platform::Path& updates, std::string_view url, std::string_view claimed_version,
                 const UpdateError& error);

}  // namespace update
