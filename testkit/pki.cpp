#include "testkit/pki.hpp"

#include "testkit/host_tools.hpp"

namespace testkit {

platform::Path test_pki_dir() { return build_path(MORVANE_TESTKIT_PKI_DIR); }

platform::Path test_pki_file(const std::string& name) { return test_pki_dir() / platform::path_from_utf8(name); }

}  // namespace testkit
