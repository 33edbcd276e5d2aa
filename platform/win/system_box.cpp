#include "platform/detail/system_box.hpp"

#include "platform/win/wide.hpp"

namespace platform {

BoxAnswer show_system_box(const BoxSpec& box, void* owner) {
  UINT style = MB_SETFOREGROUND;
  switch (box.icon) {
    case BoxIcon::Error: style |= MB_ICONERROR; break;
    case BoxIcon::Question: style |= MB_ICONQUESTION; break;
    case BoxIcon::Information: style |= MB_ICONINFORMATION; break;
  }
  style |= box.buttons == BoxButtons::YesNo ? MB_YESNO | MB_DEFBUTTON2 : MB_OK;
  const int answer = ::MessageBoxW(static_cast<HWND>(owner), win::wide(box.text).c_str(),
                                   win::wide(box.caption).c_str(), style);
  if (box.buttons != BoxButtons::YesNo) return BoxAnswer::Ok;
  return answer == IDYES ? BoxAnswer::Yes : BoxAnswer::No;
}

}  // namespace platform
