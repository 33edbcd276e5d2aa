// Passing over a JSON value of any kind that no field asks for.
#pragma once

#include "update/json/json_cursor.hpp"

namespace update::json {

// Checks the form of the value ahead and consumes it. Arrays and objects are
// walked with an explicit stack, so any depth of nesting is passed over
// without recursion and without the depth limit.
Status skip_value(Cursor& cursor);

}  // namespace update::json
