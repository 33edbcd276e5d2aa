#include "setup/tests/setup_process.hpp"

#include <algorithm>

#include "platform/fs.hpp"
#include "testkit/host_tools.hpp"

namespace setup_test {

ExeRun run_setup_exe(const std::vector<std::string>& args, const std::map<std::string, std::string>& env,
                     const platform::Path& cwd, const platform::Path& capture) {
  return run_exe(testkit::build_path(MORVANE_SETUP_EXE), args, env, cwd, capture);
}

std::vector<std::string> sorted_entries(const platform::Path& dir) {
  auto listing = platform::list_dir(dir);
  if (!listing) return {"(unlistable)"};
  std::sort(listing->names.begin(), listing->names.end());
  return listing->names;
}

}  // namespace setup_test
