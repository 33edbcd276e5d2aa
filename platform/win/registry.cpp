#include "platform/registry.hpp"

#include <string>

#include "platform/win/wide.hpp"

namespace platform {

namespace {

// The key below HKEY_CURRENT_USER: a leading "HKCU\" or
// "HKEY_CURRENT_USER\", in any letter case, is dropped.
std::string_view below_current_user(std::string_view key) {
  for (std::string_view root : {"HKCU\\", "HKEY_CURRENT_USER\\"}) {
    if (key.size() < root.size()) continue;
    bool same = true;
    for (std::size_t i = 0; i < root.size() && same; ++i) {
      const char c = key[i];
      same = (c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c) == root[i];
    }
    if (same) return key.substr(root.size());
  }
  return key;
}

}  // namespace

std::optional<std::uint32_t> read_user_dword(std::string_view key, std::string_view name) {
  DWORD value = 0;
  DWORD size = sizeof value;
  const LSTATUS status = ::RegGetValueW(HKEY_CURRENT_USER, win::wide(below_current_user(key)).c_str(),
                                        win::wide(name).c_str(), RRF_RT_REG_DWORD, nullptr, &value, &size);
  if (status != ERROR_SUCCESS) return std::nullopt;
  return static_cast<std::uint32_t>(value);
}

}  // namespace platform
