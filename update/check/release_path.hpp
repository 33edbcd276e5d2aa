// Where a release channel lives on the release host.
#pragma once

#include <string>
#include <string_view>

namespace update {

// "/releases/<product>/<channel>", both inserted as they are, unescaped.
std::string release_path(std::string_view product, std::string_view channel);

}  // namespace update
