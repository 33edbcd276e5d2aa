// The window layer on user32, as far as this build goes: the message loop,
// repeating timers and wake-ups of the UI thread run on a message-only
// window; the splash, the main window and the web view cannot be made yet,
// so that window mode ends in its final box.
#include "platform/window.hpp"

#include <windows.h>
#include <shellapi.h>

#include <deque>
#include <exception>
#include <map>
#include <mutex>
#include <utility>

#include "platform/process.hpp"
#include "platform/win/wide.hpp"

namespace platform {

namespace {

constexpr UINT kWake = WM_APP + 1;
constexpr wchar_t kClassName[] = L"MorvaneSetupLoop";

class WinLayer;

class WinTimer final : public Timer {
 public:
  WinTimer(WinLayer& layer, UINT_PTR id) : layer_(layer), id_(id) {}
  ~WinTimer() override;

 private:
  WinLayer& layer_;
  UINT_PTR id_;
};

class WinLayer final : public WindowLayer {
 public:
  WinLayer() {
    WNDCLASSEXW window_class{};
    window_class.cbSize = sizeof window_class;
    window_class.lpfnWndProc = &WinLayer::procedure;
    window_class.hInstance = ::GetModuleHandleW(nullptr);
    window_class.lpszClassName = kClassName;
    ::RegisterClassExW(&window_class);  // fails harmlessly when a layer registered it before
    window_ = ::CreateWindowExW(0, kClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, window_class.hInstance,
                                this);
  }
  ~WinLayer() override {
    if (window_ != nullptr) ::DestroyWindow(window_);
  }

  std::unique_ptr<Splash> show_splash(std::string_view) override { return nullptr; }

  std::unique_ptr<MainWindow> create_main_window(const MainWindowSpec&) override { return nullptr; }

  void create_web_environment(const Path&, std::function<void(WebEnvironmentResult)> done) override {
    done(tl::unexpected(std::string("this build of the setup program has no web view")));
  }

  std::unique_ptr<Timer> start_timer(std::chrono::milliseconds every, std::function<void()> tick) override {
    const UINT_PTR id = next_timer_++;
    timers_[id] = std::move(tick);
    const auto interval = static_cast<UINT>(std::max<std::chrono::milliseconds::rep>(every.count(), USER_TIMER_MINIMUM));
    ::SetTimer(window_, id, interval, nullptr);
    return std::make_unique<WinTimer>(*this, id);
  }

  void stop_timer(UINT_PTR id) {
    ::KillTimer(window_, id);
    timers_.erase(id);
  }

  void post(std::function<void()> work) override {
    {
      std::lock_guard lock(posted_mutex_);
      posted_.push_back(std::move(work));
    }
    ::PostMessageW(window_, kWake, 0, 0);
  }

  void run_loop() override {
    MSG message{};
    while (!std::exchange(quit_requested_, false)) {
      if (::GetMessageW(&message, nullptr, 0, 0) <= 0) break;
      ::TranslateMessage(&message);
      ::DispatchMessageW(&message);
    }
    quit_requested_ = false;
    if (fault_) std::rethrow_exception(std::exchange(fault_, nullptr));
  }

  void quit_loop() override {
    quit_requested_ = true;
    ::PostMessageW(window_, WM_NULL, 0, 0);
  }

  void open_file(const Path& path) override {
    ::ShellExecuteW(nullptr, L"open", path.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
  }

  void start_program(const Path& program, const Path& working_dir) override {
    (void)platform::start_program(program, working_dir);
  }

  std::chrono::steady_clock::time_point now() override { return std::chrono::steady_clock::now(); }

 private:
  static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_NCCREATE) {
      const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lparam);
      ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* layer = reinterpret_cast<WinLayer*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (layer != nullptr && message == kWake) {
      layer->run_posted();
      return 0;
    }
    if (layer != nullptr && message == WM_TIMER) {
      layer->run_timer(static_cast<UINT_PTR>(wparam));
      return 0;
    }
    return ::DefWindowProcW(window, message, wparam, lparam);
  }

  void run_posted() {
    std::deque<std::function<void()>> work;
    {
      std::lock_guard lock(posted_mutex_);
      work.swap(posted_);
    }
    for (auto& item : work) guarded(item);
  }

  void run_timer(UINT_PTR id) {
    auto found = timers_.find(id);
    if (found == timers_.end()) return;
    // A copy: the tick may stop its own timer.
    std::function<void()> tick = found->second;
    guarded(tick);
  }

  // No exception may pass through the system's frames: a fault is kept, the
  // loop ends, and run_loop throws it again.
  void guarded(const std::function<void()>& work) {
    try {
      work();
    } catch (...) {
      if (!fault_) fault_ = std::current_exception();
      quit_loop();
    }
  }

  HWND window_ = nullptr;
  bool quit_requested_ = false;
  std::exception_ptr fault_;
  UINT_PTR next_timer_ = 1;
  std::map<UINT_PTR, std::function<void()>> timers_;
  std::mutex posted_mutex_;
  std::deque<std::function<void()>> posted_;
};

WinTimer::~WinTimer() { layer_.stop_timer(id_); }

}  // namespace

std::unique_ptr<WindowLayer> open_window_layer() { return std::make_unique<WinLayer>(); }

}  // namespace platform
