// The Ed25519 test vectors of RFC 8032, section 7.1: TEST 1, 2, 3, 1024 and
// SHA(abc), all as hexadecimal text.
#pragma once

#include <string>
#include <vector>

namespace update::testing {

struct Rfc8032Vector {
  const char* name;
  const char* public_key;
  std::string message;
  const char* signature;
};

const std::vector<Rfc8032Vector>& rfc8032_vectors();

}  // namespace update::testing
