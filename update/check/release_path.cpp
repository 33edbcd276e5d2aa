#include "update/check/release_path.hpp"

#include <fmt/format.h>

namespace update {

std::string release_path(std::string_view product, std::string_view channel) {
  return fmt::format("/releases/{}/{}", product, channel);
}

}  // namespace update
