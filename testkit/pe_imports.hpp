// The import table of a PE file: which DLLs an executable has Windows load
// before its code runs, and which of their functions it calls.
#pragma once

#include <string>
#include <vector>

#include <tl/expected.hpp>

#include "platform/bytes.hpp"

namespace testkit {

struct PeImport {
  std::string dll;  // as the file spells it ("KERNEL32.dll")
  // The functions imported by name, and "#N" for those imported by ordinal.
  std::vector<std::string> functions;
};

// The import directory of a PE32 or PE32+ file, in its order; an error
// naming what is wrong with a file that is no PE file or whose import
// directory points outside it.
tl::expected<std::vector<PeImport>, std::string> pe_imports(platform::ByteView file);

}  // namespace testkit
