#include "update/json/json_error.hpp"

#include <fmt/format.h>

namespace update {

std::string JsonError::display() const {
  if (!has_position()) return message;
  return fmt::format("{} at line {} column {}", message, line, column);
}

}  // namespace update
