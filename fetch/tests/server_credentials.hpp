// The TLS servers' chains and keys of the fetch client's tests: the test
// PKI's localhost certificate (testkit/pki.hpp) and the certificates a client
// must refuse, made fresh by the PKI's make_negative.sh once per test run.
#pragma once

#include <string>

#include "testkit/tls_server.hpp"

namespace fetch_test {

using testkit::ServerCredentials;

// A server's chain and key: "localhost" (trusted), or one of make_negative.sh's
// "untrusted", "expired", "wrong-name", "under-expired-root".
ServerCredentials server_credentials(const std::string& name);

// A path of server_credentials as the build machine's programs (openssl)
// see it.
std::string tool_file(const std::string& path);

}  // namespace fetch_test
