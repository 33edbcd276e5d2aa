// What each system's layer gives the message boxes of message_box.cpp.
// Internal to the layer (posix/system_box.cpp and win/system_box.cpp
// implement it); nothing above the layer includes it.
#pragma once

#ifndef MORVANE_PLATFORM_LAYER
#error "platform/detail/ is the layer's own; include the public header instead"
#endif

#include "platform/box_spec.hpp"

namespace platform {

// Shows the box the system's own way, when neither a test's handler nor the
// window layer's presenter is in place: MessageBoxW on Windows, the line on
// standard error here.
BoxAnswer show_system_box(const BoxSpec& box, void* owner);

// The answer of a box that nobody could answer: its default button.
inline BoxAnswer default_box_answer(const BoxSpec& box) {
  return box.buttons == BoxButtons::YesNo ? BoxAnswer::No : BoxAnswer::Ok;
}

}  // namespace platform
