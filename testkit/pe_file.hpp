// Small PE files with a version resource, as test fixtures for the code that
// reads the installed product's version.
#pragma once

#include <cstdint>
#include <string>

#include "platform/bytes.hpp"

namespace testkit {

struct PeOptions {
  std::uint16_t major = 1, minor = 0, patch = 0, build = 0;
  bool pe32_plus = true;        // PE32+ (64-bit) or PE32
  bool with_resource = true;    // without it the file has no resource section
  std::uint16_t value_length = 52;  // the fixed file info's length as the block states it
  // Bytes that open the file in place of the bare "MZ": they must begin with
  // "MZ" and end before the header's offset field at 0x3C. A line of shell
  // there makes the file runnable here (see testkit/release/product_standin.hpp).
  std::string preamble{};
};

// A PE file whose version resource's fixed file info holds the version
// major.minor.patch.build (file and product version alike).
platform::Bytes make_pe_file(const PeOptions& options);

}  // namespace testkit
