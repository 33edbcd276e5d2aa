// DPI awareness and the main window's scale, with the functions of newer
// systems looked up at run time: the program carries no manifest, and an
// older system must still start it.
#include <algorithm>

#include "platform/win/window_parts.hpp"

namespace platform::win_window {

namespace {

template <class F>
F user32_function(const char* name) {
  HMODULE user32 = ::GetModuleHandleW(L"user32.dll");
  if (user32 == nullptr) return nullptr;
  return reinterpret_cast<F>(reinterpret_cast<void*>(::GetProcAddress(user32, name)));
}

constexpr UINT kDefaultDpi = 96;

}  // namespace

const DpiFunctions& dpi_functions() {
  static const DpiFunctions functions{
      .set_thread_awareness = user32_function<decltype(DpiFunctions::set_thread_awareness)>(
          "SetThreadDpiAwarenessContext"),
      .dpi_for_window = user32_function<decltype(DpiFunctions::dpi_for_window)>("GetDpiForWindow"),
  };
  return functions;
}

ThreadDpiAwareness::ThreadDpiAwareness(DPI_AWARENESS_CONTEXT context) {
  if (auto set = dpi_functions().set_thread_awareness) previous_ = set(context);
}

ThreadDpiAwareness::~ThreadDpiAwareness() {
  if (auto set = dpi_functions().set_thread_awareness; set != nullptr && previous_ != nullptr) set(previous_);
}

UINT window_dpi(HWND window) {
  const auto dpi_for_window = dpi_functions().dpi_for_window;
  const UINT dpi = dpi_for_window != nullptr ? dpi_for_window(window) : kDefaultDpi;
  return dpi < kDefaultDpi + 1 ? kDefaultDpi : dpi;
}

RECT centred_placement(const RECT& work, WindowSize size, UINT dpi) {
  const int width = static_cast<int>(static_cast<long long>(size.width) * dpi / kDefaultDpi);
  const int height = static_cast<int>(static_cast<long long>(size.height) * dpi / kDefaultDpi);
  const int left = work.left + std::max(0, static_cast<int>(work.right - work.left) - width) / 2;
  const int top = work.top + std::max(0, static_cast<int>(work.bottom - work.top) - height) / 2;
  return RECT{left, top, left + width, top + height};
}

}  // namespace platform::win_window
