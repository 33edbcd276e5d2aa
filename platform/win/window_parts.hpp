// What the parts of the Windows window layer share: the guard that keeps C++
// exceptions out of the system's frames, a window's object, the thread's DPI
// awareness, the placement of the main window, the splash, the main window
// and the web view's loader.
#pragma once

#include <windows.h>

#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/window.hpp"

namespace platform::win_window {

// Runs work that a window procedure or the loop calls. A fault that escapes
// it is kept and ends the loop; run_loop throws it again once the loop has
// returned.
void guarded(const std::function<void()>& work);

// The object that a window of ours stands for: the last argument of its
// CreateWindowExW, which the window procedure keeps in the window's user data
// from WM_NCCREATE on. Nothing before that message.
template <class T>
T* window_object(HWND window, UINT message, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lparam);
    ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  return reinterpret_cast<T*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
}

// The DPI functions of Windows 10 1607 and later, looked up at run time: an
// older system (or one without them) runs every window at 96 dots per inch,
// unaware, as it would run a program without DPI awareness.
struct DpiFunctions {
  DPI_AWARENESS_CONTEXT(WINAPI* set_thread_awareness)(DPI_AWARENESS_CONTEXT) = nullptr;
  UINT(WINAPI* dpi_for_window)(HWND) = nullptr;
};
const DpiFunctions& dpi_functions();

// The thread's DPI awareness set for as long as this lives, then put back.
class ThreadDpiAwareness {
 public:
  explicit ThreadDpiAwareness(DPI_AWARENESS_CONTEXT context);
  ~ThreadDpiAwareness();
  ThreadDpiAwareness(const ThreadDpiAwareness&) = delete;
  ThreadDpiAwareness& operator=(const ThreadDpiAwareness&) = delete;

 private:
  DPI_AWARENESS_CONTEXT previous_ = nullptr;
};

// The dots per inch of a window's monitor as the window sees them; 96 when
// the system cannot tell, and never less than 96.
UINT window_dpi(HWND window);

// Where a window of `size` (pixels at 96 dots per inch) goes at `dpi`:
// scaled, and centred in `work` (the monitor's work area); a window larger
// than the work area starts at its left or top edge.
RECT centred_placement(const RECT& work, WindowSize size, UINT dpi);

// The splash: a static control of the system's, shown at once; nullptr when
// the system would not make it.
std::unique_ptr<Splash> make_splash(std::string_view text);

// The hidden main window of the class "MorvaneSetupPage", scaled for the DPI
// of the monitor under the pointer and centred in its work area; nullptr when
// its class or the window cannot be made. While it lives, `*owner` is its
// handle (the owner of what the layer opens).
std::unique_ptr<MainWindow> make_main_window(const MainWindowSpec& layout, HWND* owner);

// The web engine: found through the WebView2 loader, or why it cannot be had.
WebEnvironmentResult open_web_environment(const Path& user_data_dir);

}  // namespace platform::win_window
