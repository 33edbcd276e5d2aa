#include "update/json/json_skip.hpp"

#include <vector>

#include "update/json/json_messages.hpp"
#include "update/json/json_number.hpp"
#include "update/json/json_string.hpp"

namespace update::json {

namespace {

// Consumes a scalar, or, for `[` and `{`, only the opening byte; tells which
// container was opened (0 for a scalar).
tl::expected<std::uint8_t, JsonError> open_value(Cursor& cursor) {
  const auto byte = cursor.skip_whitespace();
  if (!byte) return tl::unexpected(cursor.peek_error(msg::kEofValue));
  Status done;
  switch (*byte) {
    case 'n':
      cursor.eat();
      done = cursor.ident("ull");
      break;
    case 't':
      cursor.eat();
      done = cursor.ident("rue");
      break;
    case 'f':
      cursor.eat();
      done = cursor.ident("alse");
      break;
    case '"':
      cursor.eat();
      done = skip_string(cursor);
      break;
    case '-':
    case '0': case '1': case '2': case '3': case '4':
    case '5': case '6': case '7': case '8': case '9':
      done = skip_number(cursor);
      break;
    case '[':
    case '{':
      cursor.eat();
      return *byte;
    default:
      return tl::unexpected(cursor.peek_error(msg::kExpectedValue));
  }
  if (!done) return tl::unexpected(done.error());
  return std::uint8_t{0};
}

// The key of an object member and its colon.
Status member_key(Cursor& cursor) {
  const auto byte = cursor.skip_whitespace();
  if (!byte) return tl::unexpected(cursor.peek_error(msg::kEofObject));
  if (*byte != '"') return tl::unexpected(cursor.peek_error(msg::kKeyMustBeString));
  cursor.eat();
  if (auto ok = skip_string(cursor); !ok) return ok;
  return cursor.colon();
}

std::uint8_t closer_of(std::uint8_t opener) { return opener == '[' ? ']' : '}'; }

}  // namespace

Status skip_value(Cursor& cursor) {
  // The containers the cursor is inside, innermost last.
  std::vector<std::uint8_t> open;
  for (;;) {
    const auto opened = open_value(cursor);
    if (!opened) return tl::unexpected(opened.error());

    if (*opened != 0) {
      open.push_back(*opened);
      // An empty container closes at once.
      if (cursor.skip_whitespace() == closer_of(*opened)) {
        cursor.eat();
        open.pop_back();
      } else {
        if (*opened == '{') {
          if (auto ok = member_key(cursor); !ok) return ok;
        }
        continue;
      }
    }

    // A value is complete: close containers until one goes on with a comma.
    for (;;) {
      if (open.empty()) return {};
      const std::uint8_t frame = open.back();
      const auto byte = cursor.skip_whitespace();
      if (byte == ',') {
        cursor.eat();
        if (frame == '{') {
          if (auto ok = member_key(cursor); !ok) return ok;
        }
        break;
      }
      if (byte == closer_of(frame)) {
        cursor.eat();
        open.pop_back();
        continue;
      }
      if (!byte) return tl::unexpected(cursor.peek_error(frame == '[' ? msg::kEofList : msg::kEofObject));
      return tl::unexpected(cursor.peek_error(frame == '[' ? msg::kExpectedListCommaOrEnd
                                                            : msg::kExpectedObjectCommaOrEnd));
    }
  }
}

}  // namespace update::json
