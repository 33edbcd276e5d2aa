// The program's entry: which mode the command line asks for, and running it.
#pragma once

#include <span>
#include <string>

namespace setup {

enum class Mode { Window, Quiet, Uninstall };

struct ModeChoice {
  Mode mode = Mode::Window;
  // "--quiet" was given: no window, and no final box.
  bool quiet = false;

  bool operator==(const ModeChoice&) const = default;
};

// Looks for the whole arguments "--uninstall" and "--quiet" (exactly so, in
// lower case, anywhere and in any order; repeats count once, everything else
// is ignored). "--uninstall" wins over "--quiet"; neither means window mode.
ModeChoice choose_mode(std::span<const std::string> args);

// Runs the mode that the arguments (the program's name left out) ask for and
// answers the process's exit code: 0 for success, 1 for failure.
int run_main(std::span<const std::string> args);

}  // namespace setup
