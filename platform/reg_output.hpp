// Reading what `reg query "<key>" /v <name>` prints: an empty line, the key,
// one line for the value (four blanks, the name, four blanks, the type, four
// blanks, the data), an empty line, each line ending in CR LF.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace platform {

// The data of the value `name` of type `type` in that output: on the first
// line that, with white space trimmed, begins with `name`, what follows the
// name with every leading `type` taken off (and the white space after each),
// up to any later `type`, trimmed. Nothing when no line begins so or its data
// is empty; later lines are not looked at. Bare line feeds end lines too.
std::optional<std::string> reg_query_data(std::string_view output, std::string_view name, std::string_view type);

}  // namespace platform
