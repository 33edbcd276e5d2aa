// What a message box shows and how it can be answered (message_box.hpp
// shows it).
#pragma once

#include <string>

namespace platform {

enum class BoxIcon { Information, Error, Question };

// Ok: the OK button alone. YesNo: Yes and No, with No the default button.
enum class BoxButtons { Ok, YesNo };

enum class BoxAnswer { Ok, Yes, No };

struct BoxSpec {
  std::string caption;
  std::string text;
  BoxIcon icon = BoxIcon::Information;
  BoxButtons buttons = BoxButtons::Ok;
};

}  // namespace platform
