// Values of the user's own registry hive that the program reads directly.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace platform {

// A REG_DWORD value of a key of HKEY_CURRENT_USER (RegGetValueW with
// RRF_RT_REG_DWORD on Windows; here the per-user hive that the `reg`
// stand-in keeps). `key` is the path below HKEY_CURRENT_USER, as in
// "Software\Microsoft\Windows\CurrentVersion\Themes\Personalize"; a leading
// "HKCU\" or "HKEY_CURRENT_USER\" is taken too. Nothing when the key or the
// value is missing, the value is of another type, or the hive cannot be read.
std::optional<std::uint32_t> read_user_dword(std::string_view key, std::string_view name);

}  // namespace platform
