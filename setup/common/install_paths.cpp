#include "setup/common/install_paths.hpp"

#include <cstdint>
#include <string_view>

#include <fmt/format.h>

#include "morvane/config.hpp"
#include "platform/process.hpp"

namespace setup {

namespace {

// The low 32 bits of the 64-bit FNV-1a hash: the 64-bit offset basis and
// prime, reduced modulo 2^32.
std::uint32_t fnv1a_low32(std::string_view bytes) {
  std::uint32_t h = 0x84222325u;
  for (const char c : bytes) {
    h ^= static_cast<std::uint8_t>(c);
    h *= 0x1B3u;
  }
  return h;
}

}  // namespace

std::string product_instance_mutex_name() { return fmt::format("Global\\{}.instance", config::product_upper); }

platform::Path temp_log_path(const platform::Path& install_dir) {
  const std::uint32_t h = fnv1a_low32(platform::display(install_dir));
  return platform::temp_dir() / fmt::format("{}-setup-{:08x}.log", config::product_lower, h);
}

}  // namespace setup
