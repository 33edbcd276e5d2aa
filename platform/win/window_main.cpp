// The main window: a borderless popup of its own class "MorvaneSetupPage",
// with the program's icon and the background of the theme, made hidden,
// scaled for the DPI of the monitor under the pointer and centred in its
// work area, with round corners where the system draws them. The page draws
// its own bar; a close from outside goes to the host, which decides.
#include <utility>

#include <fmt/format.h>

#include "morvane/config.hpp"
#include "platform/owned_handle.hpp"
#include "platform/win/system_folder.hpp"
#include "platform/win/wide.hpp"
#include "platform/win/window_parts.hpp"

namespace platform::win_window {

namespace {

// "MorvaneSetupPage": the main window's class.
const wchar_t* page_class_name() {
  static const std::wstring name = win::wide(fmt::format("{}SetupPage", config::product_name));
  return name.c_str();
}

// The window-corner preference of Windows 11, and its "round" value; older
// systems refuse the attribute, which is harmless.
constexpr DWORD kCornerPreference = 33;
constexpr DWORD kRoundCorners = 2;

// Asks for round corners through dwmapi's DwmSetWindowAttribute. dwmapi.dll
// is not one of the DLLs that Windows always takes from its own folder: it
// is loaded from the system folder when the first window asks, not imported.
void prefer_round_corners(HWND window) {
  using SetAttribute = HRESULT(WINAPI*)(HWND window, DWORD attribute, LPCVOID value, DWORD size);
  static const auto set_attribute = win::system_function<SetAttribute>(L"dwmapi.dll", "DwmSetWindowAttribute");
  if (set_attribute == nullptr) return;
  const DWORD round = kRoundCorners;
  set_attribute(window, kCornerPreference, &round, sizeof round);
}

// A brush, deleted when the object goes.
struct BrushTraits {
  using Value = HBRUSH;
  static Value none() { return nullptr; }
  static bool is_open(Value brush) { return brush != nullptr; }
  static void close(Value brush) noexcept { ::DeleteObject(brush); }
};
using Brush = OwnedHandle<BrushTraits>;

Brush solid_brush(Colour colour) { return Brush(::CreateSolidBrush(RGB(colour.red, colour.green, colour.blue))); }

// The window class while it is registered.
class WindowClass {
 public:
  WindowClass(HBRUSH background, WNDPROC procedure) {
    WNDCLASSEXW window_class{};
    window_class.cbSize = sizeof window_class;
    window_class.style = CS_DROPSHADOW;
    window_class.lpfnWndProc = procedure;
    window_class.hInstance = ::GetModuleHandleW(nullptr);
    window_class.hIcon = ::LoadIconW(window_class.hInstance, L"MAINICON");
    window_class.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    window_class.hbrBackground = background;
    window_class.lpszClassName = page_class_name();
    registered_ = ::RegisterClassExW(&window_class) != 0;
  }
  ~WindowClass() {
    if (registered_) ::UnregisterClassW(page_class_name(), ::GetModuleHandleW(nullptr));
  }
  WindowClass(const WindowClass&) = delete;
  WindowClass& operator=(const WindowClass&) = delete;
  explicit operator bool() const { return registered_; }

 private:
  bool registered_ = false;
};

// The work area of the monitor under the pointer (all zeros when the system
// cannot tell).
RECT work_area_under_pointer() {
  POINT pointer{0, 0};
  ::GetCursorPos(&pointer);
  MONITORINFO info{};
  info.cbSize = sizeof info;
  if (!::GetMonitorInfoW(::MonitorFromPoint(pointer, MONITOR_DEFAULTTOPRIMARY), &info)) return RECT{0, 0, 0, 0};
  return info.rcWork;
}

class WinMainWindow final : public MainWindow {
 public:
  WinMainWindow(const MainWindowSpec& layout, HWND* owner)
      : brush_(solid_brush(layout.background)), class_(brush_.get(), &WinMainWindow::procedure), owner_(owner) {
    if (!class_) return;
    const RECT work = work_area_under_pointer();
    window_ = ::CreateWindowExW(WS_EX_APPWINDOW, page_class_name(), win::wide(layout.title).c_str(),
                                WS_POPUP | WS_SYSMENU | WS_MINIMIZEBOX, work.left, work.top, layout.size.width,
                                layout.size.height, nullptr, nullptr, ::GetModuleHandleW(nullptr), this);
    if (window_ == nullptr) return;
    const RECT placed = centred_placement(work, layout.size, window_dpi(window_));
    ::SetWindowPos(window_, nullptr, placed.left, placed.top, placed.right - placed.left, placed.bottom - placed.top,
                   SWP_NOZORDER | SWP_NOACTIVATE);
    prefer_round_corners(window_);
    *owner_ = window_;
  }
  ~WinMainWindow() override {
    if (window_ == nullptr) return;
    if (*owner_ == window_) *owner_ = nullptr;
    ::DestroyWindow(window_);
  }
  WinMainWindow(const WinMainWindow&) = delete;
  WinMainWindow& operator=(const WinMainWindow&) = delete;

  explicit operator bool() const { return window_ != nullptr; }

  void show() override {
    ::ShowWindow(window_, SW_SHOWNORMAL);
    ::SetForegroundWindow(window_);
  }
  void hide() override { ::ShowWindow(window_, SW_HIDE); }
  void minimise() override { ::ShowWindow(window_, SW_MINIMIZE); }
  void begin_drag() override {
    ::ReleaseCapture();
    ::PostMessageW(window_, WM_NCLBUTTONDOWN, HTCAPTION, 0);
  }
  WindowSize client_size() const override {
    RECT client{0, 0, 0, 0};
    ::GetClientRect(window_, &client);
    return {client.right - client.left, client.bottom - client.top};
  }
  void on_close_request(std::function<void()> handler) override { close_handler_ = std::move(handler); }
  void* native_handle() override { return window_; }

 private:
  static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    auto* self = window_object<WinMainWindow>(window, message, lparam);
    switch (message) {
      case WM_CLOSE:
        // Never closed from outside: the host decides what a close means.
        if (self != nullptr && self->close_handler_) guarded(self->close_handler_);
        return 0;
      case WM_DPICHANGED: {
        const auto* suggested = reinterpret_cast<const RECT*>(lparam);
        ::SetWindowPos(window, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                       suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
        return 0;
      }
      case WM_NCDESTROY:
        ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        break;
      default:
        break;
    }
    return ::DefWindowProcW(window, message, wparam, lparam);
  }

  // Destroyed in reverse: the window first, then its class, then the brush
  // that the class paints with.
  Brush brush_;
  WindowClass class_;
  HWND* owner_;
  HWND window_ = nullptr;
  std::function<void()> close_handler_;
};

}  // namespace

std::unique_ptr<MainWindow> make_main_window(const MainWindowSpec& layout, HWND* owner) {
  auto window = std::make_unique<WinMainWindow>(layout, owner);
  if (!*window) return nullptr;
  return window;
}

}  // namespace platform::win_window
