#include "platform/reg_output.hpp"

#include "platform/text.hpp"

namespace platform {

std::optional<std::string> reg_query_data(std::string_view output, std::string_view name, std::string_view type) {
  std::string_view rest = output;
  while (!rest.empty()) {
    const std::size_t end = rest.find('\n');
    std::string_view line = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    if (line.ends_with('\r')) line.remove_suffix(1);

    line = trim_unicode(line);
    if (!line.starts_with(name)) continue;
    // The type is taken off as often as it comes, whether or not blanks stand
    // between its repeats; data that holds it again ends there.
    std::string_view data = trim_unicode(line.substr(name.size()));
    while (!type.empty() && data.starts_with(type)) data = trim_unicode(data.substr(type.size()));
    if (!type.empty()) data = trim_unicode(data.substr(0, data.find(type)));
    if (data.empty()) return std::nullopt;
    return std::string(data);
  }
  return std::nullopt;
}

}  // namespace platform
