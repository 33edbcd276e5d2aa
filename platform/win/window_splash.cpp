// The splash: one static control of the system's own class, a bordered
// popup centred on the primary screen with one centred line. It is made
// DPI-unaware, so that on a high-DPI screen the system scales it as a whole.
#include "platform/win/wide.hpp"
#include "platform/win/window_parts.hpp"

namespace platform::win_window {

namespace {

constexpr int kWidth = 460;
constexpr int kHeight = 90;

class WinSplash final : public Splash {
 public:
  explicit WinSplash(HWND window) : window_(window) {}
  ~WinSplash() override { ::DestroyWindow(window_); }
  WinSplash(const WinSplash&) = delete;
  WinSplash& operator=(const WinSplash&) = delete;

  void set_text(std::string_view text) override { ::SetWindowTextW(window_, win::wide(text).c_str()); }

 private:
  HWND window_;
};

}  // namespace

std::unique_ptr<Splash> make_splash(std::string_view text) {
  const ThreadDpiAwareness unaware(DPI_AWARENESS_CONTEXT_UNAWARE);
  const int x = (::GetSystemMetrics(SM_CXSCREEN) - kWidth) / 2;
  const int y = (::GetSystemMetrics(SM_CYSCREEN) - kHeight) / 2;
  HWND window = ::CreateWindowExW(0, L"STATIC", win::wide(text).c_str(),
                                  WS_POPUP | WS_VISIBLE | WS_BORDER | SS_CENTERIMAGE | SS_CENTER, x, y, kWidth,
                                  kHeight, nullptr, nullptr, nullptr, nullptr);
  if (window == nullptr) return nullptr;
  return std::make_unique<WinSplash>(window);
}

}  // namespace platform::win_window
