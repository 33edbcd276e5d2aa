// The desktop under the setup window: a splash with one line of text, a
// borderless main window with one web view filling it, a repeating timer, a
// wake-up posted to the UI thread, the message loop, opening a file with the
// desktop's handler, starting a program, and the clock the window runs by.
//
// Everything here belongs to the UI thread: every object is made, used and
// destroyed there, and every callback arrives there, from the loop (or from a
// nested loop, such as a modal box's). Destroying an object closes what it
// stands for. Boxes go through platform/message_box.hpp, with a main
// window's native_handle() as their owner.
//
// The layer is an interface so that the window's logic can run against a
// scripted stand-in in tests; open_window_layer() gives the system's own.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include <tl/expected.hpp>

#include "platform/path.hpp"

namespace platform {

struct Colour {
  std::uint8_t red = 0;
  std::uint8_t green = 0;
  std::uint8_t blue = 0;

  bool operator==(const Colour&) const = default;
};

struct WindowSize {
  int width = 0;
  int height = 0;

  bool operator==(const WindowSize&) const = default;
};

// A small borderless window, centred on the screen, showing one centred line.
class Splash {
 public:
  virtual ~Splash() = default;
  virtual void set_text(std::string_view text) = 0;
};

// The setup window: borderless (the page draws its own bar), made hidden.
class MainWindow {
 public:
  virtual ~MainWindow() = default;
  // Shows it normally and brings it to the front.
  virtual void show() = 0;
  virtual void hide() = 0;
  virtual void minimise() = 0;
  // Lets the system move the window with the pointer, as if its caption were
  // being dragged with the primary button.
  virtual void begin_drag() = 0;
  // The client area as laid out (once the window has been shown).
  virtual WindowSize client_size() const = 0;
  // What a close request from the system (the user closing the window from
  // outside the page) does instead of closing it. Set once.
  virtual void on_close_request(std::function<void()> handler) = 0;
  // The system's window, as the owner of a box.
  virtual void* native_handle() = 0;
};

// A web view filling its main window. It lets through only the first
// navigation (its own page), opens no new window, shows no context menu,
// script dialog or developer tools, and hands on what the page posts with
// window.chrome.webview.postMessage as the message's JSON text.
class WebView {
 public:
  virtual ~WebView() = default;
  // The colour shown where the page paints nothing. Best effort: false when
  // the system would not take it.
  virtual bool set_default_background(Colour colour) = 0;
  // Who gets the page's messages. Set before the page is loaded.
  virtual void on_message(std::function<void(std::string json)> handler) = 0;
  // Who is told, once, that the engine behind the page has stopped (it
  // crashed or was ended): the view shows nothing any more and takes no
  // script. The text says why.
  virtual void on_failure(std::function<void(std::string why)> handler) = 0;
  // Loads a whole document given as text (UTF-8).
  virtual tl::expected<void, std::string> load_html(std::string_view html) = 0;
  // Runs a script in the page and does not wait for it; its result and any
  // error are dropped.
  virtual void run_script(std::string_view script) = 0;
  // Gives the keyboard focus to the page.
  virtual void focus() = 0;
};

using WebViewResult = tl::expected<std::unique_ptr<WebView>, std::string>;

// What web views are made from: the engine with its data folder.
class WebEnvironment {
 public:
  virtual ~WebEnvironment() = default;
  // Makes a web view inside `window` (a main window of the same layer).
  // `done` runs once with the view or the error's text, before or after this
  // returns.
  virtual void create_web_view(MainWindow& window, std::function<void(WebViewResult)> done) = 0;
};

using WebEnvironmentResult = tl::expected<std::unique_ptr<WebEnvironment>, std::string>;

// A repeating timer; it stops when destroyed.
class Timer {
 public:
  virtual ~Timer() = default;
};

struct MainWindowSpec {
  std::string title;
  // The client area in pixels at 96 dots per inch; the layer scales it.
  WindowSize size;
  Colour background;
};

class WindowLayer {
 public:
  virtual ~WindowLayer() = default;

  // The splash with the text, shown at once; nullptr when it cannot be made.
  virtual std::unique_ptr<Splash> show_splash(std::string_view text) = 0;

  // The hidden main window, centred in the work area of the monitor under
  // the pointer; nullptr when it cannot be made.
  virtual std::unique_ptr<MainWindow> create_main_window(const MainWindowSpec& layout) = 0;

  // Starts the web engine with its data in `user_data_dir`. `done` runs once
  // with the environment or the error's text, before or after this returns.
  virtual void create_web_environment(const Path& user_data_dir,
                                      std::function<void(WebEnvironmentResult)> done) = 0;

  // Calls `tick` every `every` until the timer is destroyed, also while a
  // modal box runs its own loop.
  virtual std::unique_ptr<Timer> start_timer(std::chrono::milliseconds every, std::function<void()> tick) = 0;

  // Runs `work` soon, from the loop (a private wake-up of the UI thread).
  virtual void post(std::function<void()> work) = 0;

  // Runs the message loop until quit_loop. A quit asked for before the loop
  // runs, or from inside a nested loop, ends it as soon as it gets control.
  virtual void run_loop() = 0;
  virtual void quit_loop() = 0;

  // Opens a file with the desktop's handler for it, without waiting; a
  // failure is not reported.
  virtual void open_file(const Path& path) = 0;

  // Starts a program with no arguments in `working_dir`, without waiting; a
  // failure is not reported.
  virtual void start_program(const Path& program, const Path& working_dir) = 0;

  // The monotonic clock the window runs by.
  virtual std::chrono::steady_clock::time_point now() = 0;
};

// The system's own layer. Without a display it still runs the loop, the
// timers and the wake-ups, but every window fails to appear and boxes fall
// back to their line on standard error.
std::unique_ptr<WindowLayer> open_window_layer();

}  // namespace platform
