#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "setup/main/modes.hpp"

namespace setup {
namespace {

struct ModeCase {
  std::vector<std::string> args;
  Mode mode;
  bool quiet;
};

TEST(ModeChoice, PicksTheModeFromWholeLowerCaseArguments) {
  const std::vector<ModeCase> cases = {
      {{}, Mode::Window, false},
      {{"--quiet"}, Mode::Quiet, true},
      {{"--uninstall"}, Mode::Uninstall, false},
      {{"--quiet", "--uninstall"}, Mode::Uninstall, true},
      {{"--uninstall", "--quiet"}, Mode::Uninstall, true},
      {{"--quiet", "--quiet"}, Mode::Quiet, true},
      {{"--uninstall", "--uninstall"}, Mode::Uninstall, false},
      {{"--uninstall", "--quiet", "--uninstall", "--quiet"}, Mode::Uninstall, true},
      // Options among other arguments, anywhere.
      {{"setup.exe", "extra", "--quiet", "more"}, Mode::Quiet, true},
      {{"x", "--uninstall", "y"}, Mode::Uninstall, false},
      // Near misses match nothing.
      {{"--QUIET"}, Mode::Window, false},
      {{"--Quiet"}, Mode::Window, false},
      {{"--quiet=1"}, Mode::Window, false},
      {{"-quiet"}, Mode::Window, false},
      {{"/quiet"}, Mode::Window, false},
      {{"--quiet "}, Mode::Window, false},
      {{" --quiet"}, Mode::Window, false},
      {{"--quiet --uninstall"}, Mode::Window, false},
      {{"--UNINSTALL", "--quiet"}, Mode::Quiet, true},
      {{"--uninstall=yes", "--quiet"}, Mode::Quiet, true},
      {{"/uninstall", "-uninstall", "--uninstal"}, Mode::Window, false},
      {{"--uninstall", "--quiet=1"}, Mode::Uninstall, false},
      {{std::string("--quiet\0x", 9)}, Mode::Window, false},
      {{"--qu\xff" "et"}, Mode::Window, false},
  };
  for (const auto& c : cases) {
    std::string shown;
    for (const auto& arg : c.args) shown += "[" + arg + "]";
    const ModeChoice got = choose_mode(c.args);
    EXPECT_EQ(got.mode, c.mode) << shown;
    EXPECT_EQ(got.quiet, c.quiet) << shown;
  }
}

}  // namespace
}  // namespace setup
