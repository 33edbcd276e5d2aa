#include "platform/win/long_path.hpp"

#include <vector>

namespace platform::win {

namespace {

bool is_separator(wchar_t c) { return c == L'\\' || c == L'/'; }

bool is_drive_letter(wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }

// The names of `rest` after the system's normalisation, below a root that
// ".." never climbs over.
std::vector<std::wstring_view> normal_names(std::wstring_view rest, bool& trailing_separator) {
  std::vector<std::wstring_view> names;
  std::size_t at = 0;
  trailing_separator = false;
  while (at < rest.size()) {
    while (at < rest.size() && is_separator(rest[at])) ++at;
    if (at == rest.size()) break;
    std::size_t end = at;
    while (end < rest.size() && !is_separator(rest[end])) ++end;
    std::wstring_view name = rest.substr(at, end - at);
    const bool last = end == rest.size();
    at = end;
    if (name == L".") continue;
    if (name == L"..") {
      if (!names.empty()) names.pop_back();
      continue;
    }
    if (!last) {
      // A name that a separator follows loses one point at its end.
      if (name.ends_with(L'.')) name.remove_suffix(1);
    } else {
      while (!name.empty() && (name.back() == L'.' || name.back() == L' ')) name.remove_suffix(1);
    }
    if (!name.empty()) names.push_back(name);
  }
  trailing_separator = !rest.empty() && is_separator(rest.back()) && !names.empty();
  return names;
}

std::wstring joined(std::wstring root, std::wstring_view rest) {
  bool trailing_separator = false;
  const std::vector<std::wstring_view> names = normal_names(rest, trailing_separator);
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (i > 0) root += L'\\';
    root += names[i];
  }
  if (trailing_separator) root += L'\\';
  return root;
}

}  // namespace

std::wstring long_path(const Path& whole) {
  const std::wstring_view path = whole.native();
  // "C:\..." or "C:/...": the drive's root and what lies below it.
  if (path.size() >= 3 && is_drive_letter(path[0]) && path[1] == L':' && is_separator(path[2])) {
    return joined(std::wstring(L"\\\\?\\") + path[0] + L":\\", path.substr(3));
  }
  // "\\server\share\...": not "\\?\" or "\\.\", which are the system's own
  // forms already, and only with both a server and a share.
  if (path.size() >= 2 && is_separator(path[0]) && is_separator(path[1])) {
    if (path.size() > 2 && (path[2] == L'?' || path[2] == L'.') && (path.size() == 3 || is_separator(path[3]))) {
      return std::wstring(path);
    }
    std::size_t at = 2;
    std::size_t server_end = at;
    while (server_end < path.size() && !is_separator(path[server_end])) ++server_end;
    std::size_t share = server_end;
    while (share < path.size() && is_separator(path[share])) ++share;
    std::size_t share_end = share;
    while (share_end < path.size() && !is_separator(path[share_end])) ++share_end;
    if (server_end == at || share_end == share) return std::wstring(path);
    std::wstring root = L"\\\\?\\UNC\\";
    root.append(path.substr(at, server_end - at));
    root += L'\\';
    root.append(path.substr(share, share_end - share));
    const std::wstring_view rest = path.substr(share_end);
    bool trailing_separator = false;
    if (normal_names(rest, trailing_separator).empty()) return root;
    return joined(root + L'\\', rest);
  }
  return std::wstring(path);
}

}  // namespace platform::win
