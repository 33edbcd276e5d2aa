#include <string>
#include <vector>

#include <openssl/crypto.h>

#include "setup/main/modes.hpp"

int main(int argc, char** argv) {
  // Before anything else, and before whatever first touches the crypto
  // library (hashing may come before any TLS): the library never reads an
  // openssl.cnf, whose settings (providers, a system-wide cipher policy)
  // would change what this program configures. Should the set-up fail, the
  // library's later calls fail with its own errors.
  OPENSSL_init_crypto(OPENSSL_INIT_NO_LOAD_CONFIG, nullptr);
  try {
    const std::vector<std::string> args(argc > 0 ? argv + 1 : argv, argv + argc);
    return setup::run_main(args);
  } catch (...) {
    // A fault on the main thread ends the run as a failure, never as a crash.
    return 1;
  }
}
