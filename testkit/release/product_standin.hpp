// The product stand-in: a small program that plays Morvane in tests. While it
// runs it holds the product's mutex "Global\MORVANE.instance", as the real
// product does, so the installer sees the product open.
//
// Test releases ship a morvane.exe that is a real PE file with a version
// resource and that starts this program when it is run here: its DOS header
// begins with the shell line product_exe_preamble(), which execs the program
// named by $MORVANE_PRODUCT_STANDIN with the file's own path. (A file that is
// no executable object is run by /bin/sh, and the shell never reads past the
// exec.)
//
// The program, started as `morvane-product-standin [<exe path>]`:
// - claims the mutex (exit code 1 when another process holds it);
// - appends the line "<pid> <exe path>\n" to $MORVANE_PRODUCT_STANDIN_LOG
//   when that is set, once the mutex is held;
// - holds it for $MORVANE_PRODUCT_SECONDS seconds when that is set, else
//   until it is killed; then it ends with exit code 0.
#pragma once

#include <string>

#include "platform/bytes.hpp"
#include "platform/path.hpp"
#include "testkit/pe_file.hpp"

namespace testkit {

// The built stand-in program.
platform::Path product_standin_program();

// "MZ=1 exec \"$MORVANE_PRODUCT_STANDIN\" \"$0\"\n".
std::string product_exe_preamble();

// A morvane.exe for a test release: make_pe_file(options) opened by
// product_exe_preamble().
platform::Bytes make_product_exe(PeOptions options);

// Writes make_product_exe(options) to `path`, runnable (mode 0755).
void write_product_exe(const platform::Path& path, const PeOptions& options);

}  // namespace testkit
