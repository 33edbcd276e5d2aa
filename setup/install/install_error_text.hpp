// How an updater's error ends an install: its full sentence goes to
// setup.log, and the user reads one of five sentences.
#pragma once

#include <string>

#include "platform/path.hpp"
#include "update/error.hpp"

namespace setup {

// The user's sentence for the error's kind: a release that proved nothing,
// a file that was not the product's own, an unreachable server, a cancel, or
// any other failure.
std::string install_error_sentence(const update::UpdateError& error);

// Appends the error's one-line sentence to setup.log and answers the user's
// sentence for it.
std::string install_error_text(const platform::Path& install_dir, const update::UpdateError& error);

}  // namespace setup
