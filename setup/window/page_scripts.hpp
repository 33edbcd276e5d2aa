// The scripts that the host runs in the setup page, and the texts they carry.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "setup/common/install_result.hpp"

namespace setup {

// The text as a JavaScript string literal: between double quotes, with the
// double quote, the backslash, line feed, carriage return and tab escaped,
// "<" as \u003c (so no text can close a script element), U+2028 and U+2029
// as \u2028 and \u2029, every other character below U+0020 as \u and four
// lower-case hexadecimal digits, and every other character as itself.
std::string quote_js_string(std::string_view text);

// mv.state({...}) for a status: the phase always; the version and the
// from-version when present; fraction (4 decimals), done_bytes and
// total_bytes when total_bytes is above 0, done clamped to the total;
// files_done and files_total when files_total is above 0, done clamped.
std::string build_progress_script(const SetupStatus& status);

// mv.theme("light") or mv.theme("dark"): the page's colours follow the
// same theme as the window and the web view's background.
std::string theme_script(bool light);

// mv.done({"version":<version>,"updated":<true|false>})
std::string done_script(std::string_view version, bool updated);

// mv.current({"version":<version>})
std::string current_script(std::string_view version);

// A failure text cut for the failed view: the sentence, and what to do.
struct FailureText {
  std::string sentence;
  std::optional<std::string> todo;

  bool operator==(const FailureText&) const = default;
};

// Cuts at the last ". ": the sentence keeps the full stop, the todo is the
// rest with "Run the installer again" made "Try again" and then "run the
// installer again" made "try again". Without ". " the whole text is the
// sentence and there is no todo.
FailureText split_failure_text(std::string_view text);

// mv.failed({"sentence":<sentence>[,"todo":<todo>]}) for a failure text.
std::string failed_script(std::string_view failure_text);

}  // namespace setup
