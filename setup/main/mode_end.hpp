// How the quiet and the uninstall mode end: the final box, then the exit code.
#pragma once

#include <string>

#include <tl/expected.hpp>

namespace setup {

// A mode's outcome: the sentence for a success, or the sentence for a failure.
using ModeOutcome = tl::expected<std::string, std::string>;

// Shows the outcome's box unless `quiet` is set ("Morvane" with the
// information icon for a success, "Morvane — not done" with the error icon
// for a failure) and answers the exit code: 0 for a success, 1 for a failure.
int finish_mode(const ModeOutcome& outcome, bool quiet);

}  // namespace setup
