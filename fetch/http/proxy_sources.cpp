#include "fetch/http/proxy_sources.hpp"

#include <string>

#include "platform/env.hpp"
#include "platform/process.hpp"
#include "platform/text.hpp"

namespace fetch {

std::optional<std::string> env_value_from(const EnvFn& env, std::string_view name) {
  auto raw = env(name);
  if (!raw || !platform::is_valid_utf8(*raw)) return std::nullopt;
  const std::string_view trimmed = platform::trim_unicode(*raw);
  if (trimmed.empty()) return std::nullopt;
  return std::string(trimmed);
}

std::optional<std::string> env_value(std::string_view name) { return env_value_from(&platform::env_var, name); }

std::vector<std::string> no_proxy_entries(std::string_view text) {
  std::vector<std::string> entries;
  std::size_t start = 0;
  for (;;) {
    const std::size_t comma = text.find(',', start);
    const std::string_view piece = platform::trim_unicode(
        text.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start));
    if (!piece.empty()) entries.push_back(platform::ascii_lower(piece));
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  return entries;
}

std::optional<std::string> reg_query_internet_settings_with(const platform::HiddenRunner& run,
                                                            std::string_view value_name) {
  auto output = run("reg", {"query", "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings", "/v",
                            std::string(value_name)});
  // The exit status and the error output say nothing that matters here: a
  // missing value simply prints nothing useful.
  if (!output) return std::nullopt;
  return platform::utf8_lossy(platform::text_view(output->stdout_bytes));
}

std::optional<std::string> reg_query_internet_settings(std::string_view value_name) {
  return reg_query_internet_settings_with(&platform::run_hidden, value_name);
}

std::optional<std::string> lookup_proxy_entry(std::string_view text, std::string_view key) {
  std::size_t start = 0;
  for (;;) {
    const std::size_t semicolon = text.find(';', start);
    const std::string_view piece =
        text.substr(start, semicolon == std::string_view::npos ? std::string_view::npos : semicolon - start);
    const std::size_t equals = piece.find('=');
    if (equals != std::string_view::npos &&
        platform::equals_ignoring_ascii_case(platform::trim_unicode(piece.substr(0, equals)), key)) {
      return std::string(platform::trim_unicode(piece.substr(equals + 1)));
    }
    if (semicolon == std::string_view::npos) return std::nullopt;
    start = semicolon + 1;
  }
}

}  // namespace fetch
