#include "platform/win/current_folder.hpp"

#include <algorithm>

namespace platform::win {

namespace {

constexpr std::wstring_view kExtended = L"\\\\?\\";
constexpr std::wstring_view kExtendedUnc = L"\\\\?\\UNC\\";
constexpr std::wstring_view kDevice = L"\\\\.\\";

bool is_letter(wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }

// "C:" or "C:\...".
bool names_a_drive(std::wstring_view path) {
  return path.size() >= 2 && is_letter(path[0]) && path[1] == L':' && (path.size() == 2 || path[2] == L'\\');
}

// Without the closing separators, but a drive's root keeps its own.
std::wstring without_closing_separator(std::wstring path) {
  while (path.size() > 3 && path.back() == L'\\') path.pop_back();
  if (path.size() == 2 && path[1] == L':') path += L'\\';
  return path;
}

bool fits(const std::wstring& folder) { return folder.size() <= kLongestCurrentFolder; }

}  // namespace

std::wstring system_short_form(const std::wstring& folder) {
  const std::wstring extended = std::wstring(kExtended) + folder;
  std::wstring shortened(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length =
        ::GetShortPathNameW(extended.c_str(), shortened.data(), static_cast<DWORD>(shortened.size()));
    if (length == 0) return {};
    if (length < shortened.size()) {
      shortened.resize(length);
      break;
    }
    shortened.resize(length);
  }
  if (shortened.starts_with(kExtended)) shortened.erase(0, kExtended.size());
  return shortened;
}

tl::expected<std::wstring, DWORD> current_folder_for_child(std::wstring_view folder, bool network_allowed,
                                                           const ShortForm& short_form) {
  std::wstring path(folder);
  std::replace(path.begin(), path.end(), L'/', L'\\');
  if (path.starts_with(L"\\\\")) {
    if (path.starts_with(kExtended) || path.starts_with(kDevice)) {
      std::wstring rest = path.substr(kExtended.size());
      // "\\?\UNC\server\share" is a network folder as "\\server\share" is.
      if (path.starts_with(kExtendedUnc)) {
        if (!network_allowed) return tl::unexpected(static_cast<DWORD>(ERROR_NOT_SUPPORTED));
        path = L"\\\\" + path.substr(kExtendedUnc.size());
      } else if (names_a_drive(rest)) {
        path = std::move(rest);
      } else {
        return tl::unexpected(static_cast<DWORD>(ERROR_NOT_SUPPORTED));
      }
    } else if (!network_allowed) {
      return tl::unexpected(static_cast<DWORD>(ERROR_NOT_SUPPORTED));
    }
  }
  path = without_closing_separator(std::move(path));
  if (fits(path)) return path;
  // Only an absolute folder of a drive has a short form to ask for.
  if (names_a_drive(path)) {
    std::wstring shortened = without_closing_separator(short_form(path));
    if (!shortened.empty() && fits(shortened)) return shortened;
  }
  return tl::unexpected(static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE));
}

}  // namespace platform::win
