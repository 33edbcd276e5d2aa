#include "platform/path.hpp"

#include "platform/win/wide.hpp"

namespace platform {

std::string display(const Path& path) { return win::narrow(path.native()); }

Path path_from_utf8(std::string_view text) { return Path(win::wide(text)); }

Path comparable_path(const Path& path) {
  std::wstring text = path.native();
  for (wchar_t& c : text) {
    if (c == L'/') c = L'\\';
  }
  // "\\?\C:\x" is "C:\x", and "\\?\UNC\server\share" is "\\server\share".
  if (text.starts_with(L"\\\\?\\UNC\\")) {
    text.erase(2, 6);
  } else if (text.starts_with(L"\\\\?\\")) {
    text.erase(0, 4);
  }
  if (text.empty()) return Path(text);
  // Upper case as the system folds names, the same for every user's locale.
  std::wstring folded(text.size(), L'\0');
  const int length = ::LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, text.data(), static_cast<int>(text.size()),
                                     folded.data(), static_cast<int>(folded.size()), nullptr, nullptr, 0);
  if (length <= 0) return Path(text);
  folded.resize(static_cast<std::size_t>(length));
  return Path(folded);
}

}  // namespace platform
