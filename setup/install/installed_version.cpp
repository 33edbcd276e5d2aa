#include "setup/install/installed_version.hpp"

#include <cstdint>

#include <fmt/format.h>

#include "platform/fs.hpp"
#include "platform/version_resource.hpp"
#include "update/own_file_names.hpp"

namespace setup {

namespace {

constexpr std::size_t fixed_file_info_size = 52;

std::uint32_t u32_at(platform::ByteView bytes, std::size_t at) {
  return static_cast<std::uint32_t>(bytes[at]) | (static_cast<std::uint32_t>(bytes[at + 1]) << 8) |
         (static_cast<std::uint32_t>(bytes[at + 2]) << 16) | (static_cast<std::uint32_t>(bytes[at + 3]) << 24);
}

}  // namespace

std::optional<std::string> version_from_root_block(platform::ByteView block) {
  if (block.size() < fixed_file_info_size) return std::nullopt;
  // VS_FIXEDFILEINFO: dwSignature, dwStrucVersion, dwFileVersionMS, dwFileVersionLS, ...
  const std::uint32_t ms = u32_at(block, 8);
  const std::uint32_t ls = u32_at(block, 12);
  return fmt::format("{}.{}.{}", ms >> 16, ms & 0xFFFF, ls >> 16);
}

std::optional<std::string> read_installed_version(const platform::Path& install_dir) {
  const platform::Path exe = install_dir / update::exe_file_name;
  if (!platform::is_regular_file(exe)) return std::nullopt;
  const auto block = platform::version_root_block(exe);
  if (!block) return std::nullopt;
  return version_from_root_block(*block);
}

}  // namespace setup
