// Enumerations whose values carry no data, read from JSON by their names.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

#include <tl/expected.hpp>

#include "update/json/json_cursor.hpp"

namespace update::json {

// Reads one value of an enumeration with the given names, in declared order,
// and gives its index. The value is written as its name, `"apply"`, or as an
// object with the name as its one key and null as its value, `{"apply":null}`.
tl::expected<std::size_t, JsonError> read_unit_variant(Cursor& cursor,
                                                       std::span<const std::string_view> names);

// The names as an error lists them: "`a`", "`a` or `b`", "one of `a`, `b`, `c`".
std::string expected_variants(std::span<const std::string_view> names);

}  // namespace update::json
