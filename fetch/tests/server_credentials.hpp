// The test PKI: the committed files of testkit/pki and the certificates for
// the refusals, made fresh by its make_negative.sh once per test run.
#pragma once

#include <string>

namespace fetch_test {

// A file of testkit/pki (root-ca.pem, localhost-chain.pem, localhost.key, ...).
std::string pki_file(const std::string& name);

// The same file as the build machine's programs (nginx, openssl) see it.
std::string tool_pki_file(const std::string& name);

// A path of pki_file or server_credentials as those programs see it.
std::string tool_file(const std::string& path);

// A server's chain and key: "localhost" (trusted), or one of make_negative.sh's
// "untrusted", "expired", "wrong-name", "under-expired-root".
struct ServerCredentials {
  std::string chain;
  std::string key;
};
ServerCredentials server_credentials(const std::string& name);

}  // namespace fetch_test
