#include "testkit/host_tools.hpp"

#include <unistd.h>

namespace testkit {

tl::expected<platform::ProcessOutput, platform::IoError> run_tool(const std::string& program,
                                                                  const std::vector<std::string>& args) {
  return platform::run_hidden(program, args);
}

std::string tool_path(const platform::Path& path) { return path.string(); }

platform::Path build_path(std::string_view path) { return platform::Path(std::string(path)); }

bool tools_run_as_root() { return ::geteuid() == 0; }

}  // namespace testkit
