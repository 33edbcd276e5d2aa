#include <cstdlib>
#include <string>

#include "platform/env.hpp"

namespace platform {

std::optional<std::string> env_var(std::string_view name) {
  const char* value = std::getenv(std::string(name).c_str());
  if (value == nullptr) return std::nullopt;
  return std::string(value);
}

}  // namespace platform
