// One GTK window with one WebKitGTK web view, as the setup window holds the
// page: the page loaded from a string, the bridge script injected at
// document start, the posted messages collected as JSON text. Everything is
// driven from the calling thread by pumping the GTK main loop until a
// condition holds or a time-out passes.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include <tl/expected.hpp>

typedef struct _GtkWidget GtkWidget;
typedef struct _WebKitWebView WebKitWebView;
typedef struct _WebKitUserContentManager WebKitUserContentManager;

namespace page_test {

using std::chrono::milliseconds;

struct PageWindowOptions {
  int width = 880;
  int height = 540;
  // The system's colour scheme as the engine reports it to the page.
  bool prefer_dark = true;
  // The system's "reduce motion" preference.
  bool reduce_motion = false;
  // Whether the bridge (and its message handler) is installed.
  bool bridge = true;
  // Further scripts injected at document start, before the page's own.
  std::vector<std::string> scripts;
};

enum class MouseButton { Primary = 1, Middle = 2, Secondary = 3 };

class PageWindow {
 public:
  explicit PageWindow(PageWindowOptions options = {});
  ~PageWindow();
  PageWindow(const PageWindow&) = delete;
  PageWindow& operator=(const PageWindow&) = delete;

  // Loads the text as the document and waits until it has loaded.
  tl::expected<void, std::string> load(const std::string& html, milliseconds timeout = milliseconds(15000));

  // Runs a script and waits for it; the result is JSON.stringify of the
  // script's completion value ("undefined" when it has none), or the
  // engine's error text.
  tl::expected<std::string, std::string> eval(std::string_view script,
                                              milliseconds timeout = milliseconds(5000));
  // The same, but the result is the completion value as a string
  // (String(value)).
  tl::expected<std::string, std::string> eval_text(std::string_view script,
                                                   milliseconds timeout = milliseconds(5000));

  // Pumps the main loop until `done` answers true (true) or the time-out
  // passes (false).
  bool pump_until(const std::function<bool()>& done, milliseconds timeout);
  void pump_for(milliseconds duration);

  // The messages posted so far, each as its JSON text.
  const std::vector<std::string>& messages() const { return messages_; }
  bool wait_for_messages(std::size_t count, milliseconds timeout = milliseconds(5000));

  // How often the engine was about to show a context menu.
  int context_menus() const { return context_menus_; }

  // Real input through the X server (its XTest extension), at a point in
  // the view's coordinates: the events reach the window as a mouse's or a
  // keyboard's would. Each returns once the events are sent; the page sees
  // them a little later.
  void press(int x, int y, MouseButton button);
  void release(int x, int y, MouseButton button);
  void click(int x, int y, MouseButton button = MouseButton::Primary);
  void key(unsigned keyval);

  // A PNG of what the view shows.
  tl::expected<void, std::string> snapshot(const std::string& png_path,
                                           milliseconds timeout = milliseconds(10000));

  WebKitWebView* view() const { return view_; }

 private:
  enum class As { Json, Text };
  tl::expected<std::string, std::string> evaluate(std::string_view script, As as, milliseconds timeout);

  static void on_message(WebKitUserContentManager*, void* result, void* self);
  static int on_context_menu(WebKitWebView*, void* menu, void* event, void* hit, void* self);
  static void on_load_changed(WebKitWebView*, int event, void* self);

  GtkWidget* window_ = nullptr;
  WebKitWebView* view_ = nullptr;
  WebKitUserContentManager* content_ = nullptr;
  unsigned long message_handler_ = 0;
  std::vector<std::string> messages_;
  int context_menus_ = 0;
  bool loaded_ = false;
};

// The setup page as the program carries it (decoded from the embedded
// stream).
std::string embedded_page_text();

}  // namespace page_test
