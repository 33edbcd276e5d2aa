// The test child here: its arguments are UTF-8 already, and it has no modes
// of this system's own.
#include <string>
#include <vector>

#include "platform/tests/test_child.hpp"

namespace platform_test {

int run_system_mode(const std::vector<std::string>&) { return 2; }

}  // namespace platform_test

int main(int argc, char** argv) {
  return platform_test::run_test_child(std::vector<std::string>(argc > 0 ? argv + 1 : argv, argv + argc));
}
