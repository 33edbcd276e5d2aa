#include "platform/env.hpp"

#include "platform/win/wide.hpp"

namespace platform {

std::optional<std::string> env_var(std::string_view name) {
  const std::wstring wide_name = win::wide(name);
  std::wstring value(256, L'\0');
  for (;;) {
    ::SetLastError(ERROR_SUCCESS);
    const DWORD length =
        ::GetEnvironmentVariableW(wide_name.c_str(), value.data(), static_cast<DWORD>(value.size()));
    if (length == 0) {
      // A variable set to the empty text answers 0 too, with no error.
      if (::GetLastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
      return std::string();
    }
    if (length < value.size()) {
      value.resize(length);
      return win::narrow(value);
    }
    value.resize(length);  // the length it needs, with its terminating 0
  }
}

}  // namespace platform
