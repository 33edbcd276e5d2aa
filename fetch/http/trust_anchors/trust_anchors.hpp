// The trust anchors of the TLS client: root certificates held as constant
// DER data in the program, from committed lists that
// scripts/make-trust-anchors makes. They are the only roots; the system's
// certificate store is never read.
#pragma once

#include <cstddef>
#include <span>
#include <string_view>

namespace fetch {

struct TrustAnchor {
  std::string_view name;  // the certificate file's name, for diagnostics
  const unsigned char* der;
  std::size_t size;
};

// The set this build trusts (chosen by MORVANE_TRUST_ANCHORS when the build is
// configured).
std::span<const TrustAnchor> trust_anchors();

// Both sets, each in its own library: the Mozilla root set as Debian's
// ca-certificates package ships it, less the roots that had expired when the
// list was made, and the test PKI's roots.
std::span<const TrustAnchor> mozilla_trust_anchors();
std::span<const TrustAnchor> test_trust_anchors();

}  // namespace fetch
