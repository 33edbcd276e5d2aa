#include "testkit/xz_tool.hpp"

#include <fmt/format.h>

#include "platform/fs.hpp"
#include "platform/process.hpp"
#include "testkit/host_tools.hpp"
#include "testkit/temp_dir.hpp"

namespace testkit {

tl::expected<platform::Bytes, std::string> xz_compress(platform::ByteView data, std::string_view check,
                                                       const std::vector<std::string>& options) {
  // The child's standard input is empty, so the data goes through a file.
  TempDir dir;
  const platform::Path input = dir / "stream";
  if (auto written = platform::write_file(input, data); !written) {
    return tl::unexpected(fmt::format("cannot write {}: {}", platform::display(input), written.error().text()));
  }
  std::vector<std::string> args = {"--format=xz", fmt::format("--check={}", check), "--stdout", "--keep"};
  args.insert(args.end(), options.begin(), options.end());
  args.push_back("--");
  args.push_back(tool_path(input));
  auto run = run_tool("xz", args);
  if (!run) return tl::unexpected(fmt::format("cannot run xz: {}", run.error().text()));
  if (run->exit_code != 0) {
    return tl::unexpected(
        fmt::format("xz exited with {}: {}", run->exit_code, platform::text_view(run->stderr_bytes)));
  }
  return std::move(run->stdout_bytes);
}

}  // namespace testkit
