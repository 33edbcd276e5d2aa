#include "testkit/scoped_env.hpp"

#ifdef _WIN32
#include <windows.h>
#else
#include <cstdlib>
#endif

#include "platform/env.hpp"
#include "platform/text.hpp"

namespace testkit {

void set_env(const std::string& name, const std::optional<std::string>& value) {
#ifdef _WIN32
  const std::u16string wide_name = platform::to_wide(name);
  if (value) {
    const std::u16string wide_value = platform::to_wide(*value);
    ::SetEnvironmentVariableW(reinterpret_cast<const wchar_t*>(wide_name.c_str()),
                              reinterpret_cast<const wchar_t*>(wide_value.c_str()));
  } else {
    ::SetEnvironmentVariableW(reinterpret_cast<const wchar_t*>(wide_name.c_str()), nullptr);
  }
#else
  if (value) {
    ::setenv(name.c_str(), value->c_str(), 1);
  } else {
    ::unsetenv(name.c_str());
  }
#endif
}

ScopedEnv::ScopedEnv(std::string name, std::optional<std::string> value)
    : name_(std::move(name)), old_(platform::env_var(name_)) {
  set_env(name_, value);
}

}  // namespace testkit
