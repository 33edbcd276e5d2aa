#include "setup/uninstall/display_version.hpp"

#include "platform/process.hpp"
#include "platform/text.hpp"
#include "setup/install/uninstall_entry.hpp"

namespace setup {

namespace {

constexpr std::string_view value_name = "DisplayVersion";
constexpr std::string_view value_type = "REG_SZ";

}  // namespace

std::optional<std::string> display_version_in(std::string_view reg_output) {
  const std::string text = platform::utf8_lossy(reg_output);
  std::string_view rest = text;
  while (!rest.empty()) {
    const std::size_t end = rest.find('\n');
    std::string_view line = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    if (line.ends_with('\r')) line.remove_suffix(1);

    line = platform::trim_unicode(line);
    if (!line.starts_with(value_name)) continue;
    // The type name is taken off as often as it comes, whether or not blanks
    // stand between its repeats.
    std::string_view data = platform::trim_unicode(line.substr(value_name.size()));
    while (data.starts_with(value_type)) data = platform::trim_unicode(data.substr(value_type.size()));
    if (data.empty()) return std::nullopt;
    return std::string(data);
  }
  return std::nullopt;
}

std::optional<std::string> read_display_version_with(const platform::HiddenRunner& run) {
  auto output = run("reg", {"query", uninstall_key_path(), "/v", std::string(value_name)});
  if (!output) return std::nullopt;
  return display_version_in(platform::text_view(output->stdout_bytes));
}

std::optional<std::string> read_display_version() { return read_display_version_with(&platform::run_hidden); }

}  // namespace setup
