#include "setup/uninstall/display_version.hpp"

#include "platform/process.hpp"
#include "platform/reg_output.hpp"
#include "platform/text.hpp"
#include "setup/install/uninstall_entry.hpp"

namespace setup {

namespace {

constexpr std::string_view value_name = "DisplayVersion";

}  // namespace

std::optional<std::string> display_version_in(std::string_view reg_output) {
  return platform::reg_query_data(platform::utf8_lossy(reg_output), value_name, "REG_SZ");
}

std::optional<std::string> read_display_version_with(const platform::HiddenRunner& run) {
  auto output = run("reg", {"query", uninstall_key_path(), "/v", std::string(value_name)});
  if (!output) return std::nullopt;
  return display_version_in(platform::text_view(output->stdout_bytes));
}

std::optional<std::string> read_display_version() { return read_display_version_with(&platform::run_hidden); }

}  // namespace setup
