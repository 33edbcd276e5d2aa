#include "setup/common/hidden_command.hpp"

#include "platform/text.hpp"

namespace setup {

std::string trimmed_stderr(const platform::ProcessOutput& output) {
  const std::string text = platform::utf8_lossy(platform::text_view(output.stderr_bytes));
  return std::string(platform::trim_unicode(text));
}

tl::expected<void, std::string> run_to_success(const platform::HiddenRunner& run, const std::string& program,
                                               const std::vector<std::string>& args) {
  auto output = run(program, args);
  if (!output) return tl::unexpected(output.error().text());
  if (output->exit_code != 0) return tl::unexpected(trimmed_stderr(*output));
  return {};
}

}  // namespace setup
