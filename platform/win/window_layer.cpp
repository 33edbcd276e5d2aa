// The window layer on user32: the UI thread as a single-threaded COM
// apartment, per-monitor DPI-aware; the loop; repeating timers and wake-ups,
// which run on a message-only window of the layer's own, so that they keep
// running inside the nested loop of a modal box; opening files with the
// shell. The splash, the main window and the web engine are in the other
// window_*.cpp files.
#include <objbase.h>
#include <shellapi.h>

#include <algorithm>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <utility>

#include <fmt/format.h>

#include "morvane/config.hpp"
#include "platform/process.hpp"
#include "platform/win/wide.hpp"
#include "platform/win/window_parts.hpp"

namespace platform {

namespace win_window {

namespace {

constexpr UINT kWake = WM_APP + 1;

// "MorvaneSetupLoop": the class of the message-only window that wakes the loop.
const wchar_t* loop_class_name() {
  static const std::wstring name = platform::win::wide(fmt::format("{}SetupLoop", config::product_name));
  return name.c_str();
}

// The layer whose loop a fault ends, and the fault it ends with. There is one
// layer per process, on the UI thread.
class WinLayer;
WinLayer* current_layer = nullptr;
std::exception_ptr pending_fault;

class WinTimer final : public Timer {
 public:
  WinTimer(WinLayer& layer, UINT_PTR id) : layer_(layer), id_(id) {}
  ~WinTimer() override;

 private:
  WinLayer& layer_;
  UINT_PTR id_;
};

// The thread's COM apartment, left when the object goes.
class ComApartment {
 public:
  ComApartment() : joined_(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
  ~ComApartment() {
    if (joined_) ::CoUninitialize();
  }
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;

 private:
  bool joined_;
};

class WinLayer final : public WindowLayer {
 public:
  WinLayer() {
    // Windows made from here on follow the DPI of their monitor; the splash
    // alone is made unaware (window_splash.cpp).
    if (auto set = dpi_functions().set_thread_awareness) set(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
    WNDCLASSEXW window_class{};
    window_class.cbSize = sizeof window_class;
    window_class.lpfnWndProc = &WinLayer::procedure;
    window_class.hInstance = ::GetModuleHandleW(nullptr);
    window_class.lpszClassName = loop_class_name();
    ::RegisterClassExW(&window_class);  // fails harmlessly when a layer registered it before
    window_ = ::CreateWindowExW(0, loop_class_name(), L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, window_class.hInstance,
                                this);
    current_layer = this;
  }
  ~WinLayer() override {
    if (current_layer == this) current_layer = nullptr;
    if (window_ != nullptr) ::DestroyWindow(window_);
  }

  std::unique_ptr<Splash> show_splash(std::string_view text) override { return make_splash(text); }

  std::unique_ptr<MainWindow> create_main_window(const MainWindowSpec& layout) override {
    return make_main_window(layout, &owner_);
  }

  void create_web_environment(const Path& user_data_dir, std::function<void(WebEnvironmentResult)> done) override {
    done(open_web_environment(user_data_dir));
  }

  std::unique_ptr<Timer> start_timer(std::chrono::milliseconds every, std::function<void()> tick) override {
    const UINT_PTR id = next_timer_++;
    timers_[id] = std::move(tick);
    const auto interval =
        static_cast<UINT>(std::max<std::chrono::milliseconds::rep>(every.count(), USER_TIMER_MINIMUM));
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
    if (pending_fault) std::rethrow_exception(std::exchange(pending_fault, nullptr));
  }

  // Not WM_QUIT, which would also end a modal box's loop: the flag is seen
  // by run_loop once the message that asked for the quit has been handled.
  void quit_loop() override {
    quit_requested_ = true;
    ::PostMessageW(window_, WM_NULL, 0, 0);
  }

  void open_file(const Path& path) override {
    ::ShellExecuteW(owner_, L"open", path.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
  }

  void start_program(const Path& program, const Path& working_dir) override {
    (void)platform::start_program(program, working_dir);
  }

  std::chrono::steady_clock::time_point now() override { return std::chrono::steady_clock::now(); }

 private:
  static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    auto* layer = window_object<WinLayer>(window, message, lparam);
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

  ComApartment apartment_;
  HWND window_ = nullptr;
  // The main window while there is one: the owner of what the shell opens.
  HWND owner_ = nullptr;
  bool quit_requested_ = false;
  UINT_PTR next_timer_ = 1;
  std::map<UINT_PTR, std::function<void()>> timers_;
  std::mutex posted_mutex_;
  std::deque<std::function<void()>> posted_;
};

WinTimer::~WinTimer() { layer_.stop_timer(id_); }

}  // namespace

void guarded(const std::function<void()>& work) {
  try {
    work();
  } catch (...) {
    if (!pending_fault) pending_fault = std::current_exception();
    if (current_layer != nullptr) current_layer->quit_loop();
  }
}

}  // namespace win_window

std::unique_ptr<WindowLayer> open_window_layer() { return std::make_unique<win_window::WinLayer>(); }

}  // namespace platform
