#include "platform/registry.hpp"

#include <charconv>
#include <string>

#include "platform/posix/hive.hpp"

namespace platform {

std::optional<std::uint32_t> read_user_dword(std::string_view key, std::string_view name) {
  std::string path(key);
  if (auto below = hive::below_current_user(key)) path = std::move(*below);
  auto loaded = hive::load(hive::hive_dir());
  if (!loaded) return std::nullopt;
  const hive::Key* found = hive::find_key(*loaded, path);
  if (found == nullptr) return std::nullopt;
  const hive::Value* value = hive::find_value(*found, name);
  if (value == nullptr || value->type != hive::type_dword) return std::nullopt;
  std::uint32_t number = 0;
  const char* end = value->data.data() + value->data.size();
  const auto [at, error] = std::from_chars(value->data.data(), end, number);
  if (error != std::errc() || at != end) return std::nullopt;
  return number;
}

}  // namespace platform
