#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <openssl/crypto.h>

#include "platform/process.hpp"
#include "setup/main/modes.hpp"

int main(int argc, char** argv) {
  platform::prepare_process();
  // Next, before whatever first touches the crypto library (hashing may
  // come before any TLS): the library never reads an openssl.cnf, whose
  // settings (providers, a system-wide cipher policy) would change what this
  // program configures. Should the set-up fail, the library's later calls
  // fail with its own errors.
  OPENSSL_init_crypto(OPENSSL_INIT_NO_LOAD_CONFIG, nullptr);
  int code = 1;
  try {
    const std::vector<std::string> args(argc > 0 ? argv + 1 : argv, argv + argc);
    code = setup::run_main(args);
  } catch (...) {
    // A fault on the main thread ends the run as a failure, never as a crash.
    code = 1;
  }
  // The install report's thread may still be waiting for the site: the
  // process ends here, at once, without running static destructors under a
  // thread that still uses what they would destroy.
  std::fflush(nullptr);
  std::_Exit(code);
}
