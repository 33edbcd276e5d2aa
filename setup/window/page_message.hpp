// The messages that the setup page posts to the host.
#pragma once

#include <optional>
#include <string_view>

namespace setup {

enum class PageMessage { Ready, Open, Close, Minimize, Retry, Details, Drag };

// The message's type from its JSON text, read without a JSON parser: the
// first "type" in the text, then (white space allowed around it) a colon and
// a string whose characters up to the next double quote name one of the
// seven messages exactly. Anything else is no message.
std::optional<PageMessage> parse_page_message_type(std::string_view json);

}  // namespace setup
