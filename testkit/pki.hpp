// The test PKI of testkit/pki: a root and an intermediate, the localhost
// certificate they issue (which the test build's TLS client trusts), an
// expired root, and the scripts that made them (make.sh) and that make the
// certificates a client must refuse (make_negative.sh).
#pragma once

#include <string>

#include "platform/path.hpp"

namespace testkit {

// The folder, as the test sees it.
platform::Path test_pki_dir();

// A file of it: "root-ca.pem", "localhost-chain.pem", "localhost.key", ...
platform::Path test_pki_file(const std::string& name);

}  // namespace testkit
