// Stepping through a JSON array: its elements, its end, and a whole list
// opened and closed around the reading of its elements; and the separators
// between the members of an array or an object, which both read alike.
#pragma once

#include <string_view>

#include <tl/expected.hpp>

#include "update/json/json_cursor.hpp"

namespace update::json {

// How a container ends and what its separator errors say.
struct Separators {
  char close;                       // `]` or `}`
  std::string_view eof;             // the input ends inside the container
  std::string_view comma_or_close;  // neither `,` nor the close after a member
};

// Steps to the next member of an array or object whose opening byte is
// consumed. True when a member follows (the cursor stands before it), false
// when the close is next; a comma right before the close is a trailing
// comma. `first` tells whether no member was stepped to yet, and is cleared.
tl::expected<bool, JsonError> next_member(Cursor& cursor, bool& first, const Separators& separators);

// Steps to the next element of an array whose `[` is consumed. True when an
// element follows (the cursor stands before it), false when the `]` is next.
// `first` tells whether no element was stepped to yet, and is cleared.
tl::expected<bool, JsonError> next_element(Cursor& cursor, bool& first);

// Ends an array after the elements that were wanted: the `]` must come next.
Status end_list(Cursor& cursor);

// Opens a list where one is expected: the `[` is consumed and the cursor goes
// one level deeper; any other value is refused as not `expected`.
Status open_list(Cursor& cursor, std::string_view expected);

// Closes a list that open_list opened once its elements are read, with
// `elements` the outcome of reading them. Even after a failure the `]` is
// consumed when it is next, so that an error without a position is placed
// after it.
Status close_list(Cursor& cursor, Status elements);

}  // namespace update::json
