#include "platform/win/wide.hpp"

#include "platform/text.hpp"

namespace platform::win {

// wchar_t is one UTF-16 unit on Windows, so the portable conversions serve.
static_assert(sizeof(wchar_t) == sizeof(char16_t));

std::wstring wide(std::string_view utf8) {
  std::u16string units = to_wide(utf8);
  units.pop_back();  // the terminating 0; c_str() adds its own
  return std::wstring(units.begin(), units.end());
}

std::string narrow(std::wstring_view text) { return from_wide(std::u16string(text.begin(), text.end())); }

}  // namespace platform::win
