#include "update/check/reserved_names.hpp"

#include <algorithm>
#include <array>

#include "platform/text.hpp"
#include "update/own_file_names.hpp"

namespace update {

std::string folded_file_name(std::string_view name) {
  const auto kept = name.find_last_not_of(". ");
  return platform::ascii_lower(name.substr(0, kept == std::string_view::npos ? 0 : kept + 1));
}

bool is_updater_own_name(std::string_view folded) {
  constexpr std::array<std::string_view, 4> whole = {updates_folder_name, uninstaller_file_name,
                                                     manifest_file_name, signature_file_name};
  if (std::find(whole.begin(), whole.end(), folded) != whole.end()) return true;
  return folded.ends_with(aside_suffix) || folded.ends_with(part_suffix);
}

bool is_device_name(std::string_view folded) {
  // What comes before the first point names the device; Windows ignores
  // blanks at its end too.
  std::string_view stem = folded.substr(0, folded.find('.'));
  while (!stem.empty() && stem.back() == ' ') stem.remove_suffix(1);
  if (stem == "con" || stem == "prn" || stem == "aux" || stem == "nul") return true;
  return stem.size() == 4 && (stem.starts_with("com") || stem.starts_with("lpt")) && stem[3] >= '0' &&
         stem[3] <= '9';
}

}  // namespace update
