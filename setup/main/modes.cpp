#include "setup/main/modes.hpp"

#include <algorithm>
#include <string_view>

#include "setup/main/quiet.hpp"
#include "setup/main/uninstall_mode.hpp"
#include "setup/main/window_mode.hpp"

namespace setup {

ModeChoice choose_mode(std::span<const std::string> args) {
  const auto given = [&](std::string_view option) {
    return std::any_of(args.begin(), args.end(), [&](const std::string& arg) { return arg == option; });
  };
  const bool quiet = given("--quiet");
  if (given("--uninstall")) return {Mode::Uninstall, quiet};
  if (quiet) return {Mode::Quiet, true};
  return {Mode::Window, false};
}

int run_main(std::span<const std::string> args) {
  const ModeChoice choice = choose_mode(args);
  switch (choice.mode) {
    case Mode::Uninstall:
      return run_uninstall(choice.quiet);
    case Mode::Quiet:
      return run_quiet_install();
    case Mode::Window:
      return run_window_mode();
  }
  return 1;
}

}  // namespace setup
