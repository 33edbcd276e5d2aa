// The installer's final message box and its two captions.
#pragma once

#include <string>
#include <string_view>

namespace setup {

// "Morvane": the caption of a success box.
std::string success_caption();

// "Morvane — not done": the caption of a failure box.
std::string failure_caption();

// A modal box with the OK button, the error icon when `is_error` is set and
// the information icon otherwise; returns once it is dismissed.
void show_message_box(std::string_view caption, std::string_view body, bool is_error);

}  // namespace setup
