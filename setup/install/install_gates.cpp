#include "setup/install/install_gates.hpp"

#include <array>

#include <fmt/format.h>
#include <fmt/ranges.h>

#include "morvane/config.hpp"
#include "setup/common/install_paths.hpp"
#include "setup/common/setup_log.hpp"
#include "update/own_file_names.hpp"
#include "update/records/version.hpp"

namespace setup {

namespace {

// The libraries that the product's executable loads at start.
constexpr std::array<std::string_view, 7> required_libraries = {"kesto", "ranel", "qet",  "vorda",
                                                                  "zun",   config::product_lower, "pelo"};

}  // namespace

std::vector<std::string> required_file_names() {
  std::vector<std::string> names{std::string(update::exe_file_name)};
  for (const std::string_view library : required_libraries) names.push_back(fmt::format("lib{}.dll", library));
  return names;
}

std::optional<std::string> check_minimum_installer(const platform::Path& install_dir, std::string_view version) {
  const auto offered = update::parse_version(version);
  const auto own = update::parse_version(config::setup_version);
  if (!offered || !own || !(*offered < *own)) return std::nullopt;
  append_setup_log(install_dir, fmt::format("the server offers {}, below this installer's {}", version, config::setup_version));
  return fmt::format("{}'s server offers {}, older than this installer ({}), so nothing was installed. Try again later.",
                     config::product_name, version, config::setup_version);
}

std::optional<std::string> check_required_files(const platform::Path& install_dir,
                                                const update::ReleaseManifest& manifest) {
  std::vector<std::string> missing;
  for (const std::string& name : required_file_names()) {
    if (update::find_file_entry(manifest.files, name) == nullptr) missing.push_back(name);
  }
  if (missing.empty()) return std::nullopt;
  const std::string names = fmt::format("{}", fmt::join(missing, ", "));
  append_setup_log(install_dir,
                   fmt::format("the verified manifest for {} does not list {}", manifest.version, names));
  return fmt::format("The release on {}'s server is incomplete ({} is missing), so nothing was installed. Try again later.",
                     config::product_name, names);
}

}  // namespace setup
