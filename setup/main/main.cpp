#include <string>
#include <vector>

#include "setup/main/modes.hpp"

int main(int argc, char** argv) {
  try {
    const std::vector<std::string> args(argc > 0 ? argv + 1 : argv, argv + argc);
    return setup::run_main(args);
  } catch (...) {
    // A fault on the main thread ends the run as a failure, never as a crash.
    return 1;
  }
}
