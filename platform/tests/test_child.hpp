// The child program that the layer's process and mutex tests start
// (MORVANE_TEST_CHILD), given a mode and its arguments:
//   child streams <out> <err> <code>   writes <out> and <err> to its standard
//                                      output and error, exits with <code>
//   child args <arg>...                writes each argument as it arrived,
//                                      in UTF-8, followed by "|", then what
//                                      came on its standard input
//   child large <bytes>                writes that many bytes to each stream
//   child hold <mutex> <seconds>       claims the named mutex with the layer
//                                      (exit code 1 when it cannot) and holds
//                                      it for a while
//   child sleep <seconds>              sleeps
//   child later <ms> <file>            after <ms> milliseconds, writes its
//                                      working folder into <file>
//   child                              writes its working folder into
//                                      "started-here.txt" there
// and the modes of its system (posix/test_child.cpp, win/test_child.cpp).
// An unknown mode exits with 2.
#pragma once

#include <string>
#include <vector>

namespace platform_test {

// Runs the mode that `args` (the program's name left out) asks for and
// answers the exit code.
int run_test_child(const std::vector<std::string>& args);

// The modes of this system alone; 2 for a mode it does not know.
int run_system_mode(const std::vector<std::string>& args);

}  // namespace platform_test
