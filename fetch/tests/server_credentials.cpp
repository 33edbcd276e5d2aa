#include "fetch/tests/server_credentials.hpp"

#include <memory>
#include <mutex>
#include <stdexcept>

#include "testkit/host_tools.hpp"
#include "testkit/pki.hpp"
#include "testkit/temp_dir.hpp"

namespace fetch_test {

std::string tool_file(const std::string& path) { return testkit::tool_path(platform::path_from_utf8(path)); }

namespace {

const testkit::TempDir& negative_dir() {
  static std::once_flag once;
  static std::unique_ptr<testkit::TempDir> dir;
  std::call_once(once, [] {
    auto made = std::make_unique<testkit::TempDir>();
    auto run = testkit::run_tool("sh", {testkit::tool_path(testkit::test_pki_file("make_negative.sh")),
                                        testkit::tool_path(made->path())});
    if (!run || run->exit_code != 0) {
      throw std::runtime_error("make_negative.sh failed: " +
                               (run ? platform::to_string(run->stderr_bytes) : run.error().text()));
    }
    dir = std::move(made);
  });
  return *dir;
}

}  // namespace

ServerCredentials server_credentials(const std::string& name) {
  if (name == "localhost") {
    return {platform::display(testkit::test_pki_file("localhost-chain.pem")),
            platform::display(testkit::test_pki_file("localhost.key"))};
  }
  const auto& dir = negative_dir();
  return {platform::display(dir / (name + "-chain.pem")), platform::display(dir / (name + ".key"))};
}

}  // namespace fetch_test
