#include "setup/page/tests/page_window.hpp"

#include <X11/extensions/XTest.h>
#include <gdk/gdk.h>
#include <gdk/gdkx.h>
#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <memory>
#include <stdexcept>

#include "platform/posix/webview_bridge.hpp"
#include "setup/page/embedded_page.hpp"

// Read by LeakSanitizer in sanitizer builds: fontconfig and JavaScriptCore
// keep caches for the life of the process and never free them at exit. A
// leak of ours (a GObject, a GError, a string from GLib) is allocated
// elsewhere and still reported.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\n"
         "leak:libjavascriptcoregtk-4.1.so\n";
}

namespace page_test {

namespace {

struct GErrorFree {
  void operator()(GError* error) const { g_error_free(error); }
};
struct GFree {
  void operator()(char* text) const { g_free(text); }
};
struct GObjectUnref {
  void operator()(void* object) const { g_object_unref(object); }
};
struct CairoSurfaceDestroy {
  void operator()(cairo_surface_t* surface) const { cairo_surface_destroy(surface); }
};
using ErrorPtr = std::unique_ptr<GError, GErrorFree>;
using TextPtr = std::unique_ptr<char, GFree>;
using ObjectPtr = std::unique_ptr<void, GObjectUnref>;
using SurfacePtr = std::unique_ptr<cairo_surface_t, CairoSurfaceDestroy>;

void initialise_gtk() {
  static const bool initialised = gtk_init_check(nullptr, nullptr);
  if (!initialised) throw std::runtime_error("GTK could not be initialised: is there a display?");
}

// One asynchronous WebKit call in flight: its completion callback always
// runs before the waiting caller returns (a time-out cancels it and then
// waits for the cancellation), so the state can live on the caller's stack.
struct Pending {
  bool done = false;
  GAsyncResult* result = nullptr;
  ObjectPtr cancellable{g_cancellable_new()};

  GCancellable* cancel_token() const { return G_CANCELLABLE(cancellable.get()); }

  static void complete(GObject*, GAsyncResult* result, gpointer self) {
    auto* pending = static_cast<Pending*>(self);
    pending->result = G_ASYNC_RESULT(g_object_ref(result));
    pending->done = true;
  }

  ~Pending() {
    if (result) g_object_unref(result);
  }
};

// The text as a JavaScript string literal.
std::string js_string(std::string_view text) {
  std::string quoted = "\"";
  for (const char c : text) {
    switch (c) {
      case '"': quoted += "\\\""; break;
      case '\\': quoted += "\\\\"; break;
      case '\n': quoted += "\\n"; break;
      case '\r': quoted += "\\r"; break;
      default: quoted += c;  // U+2028 and U+2029 may stand in a string literal
    }
  }
  return quoted + "\"";
}

bool await(PageWindow& window, Pending& pending, milliseconds timeout) {
  if (window.pump_until([&] { return pending.done; }, timeout)) return true;
  g_cancellable_cancel(pending.cancel_token());
  window.pump_until([&] { return pending.done; }, milliseconds(60000));
  return false;
}

}  // namespace

PageWindow::PageWindow(PageWindowOptions options) {
  initialise_gtk();
  g_object_set(gtk_settings_get_default(), "gtk-application-prefer-dark-theme",
               options.prefer_dark ? TRUE : FALSE, "gtk-enable-animations",
               options.reduce_motion ? FALSE : TRUE, nullptr);

  view_ = WEBKIT_WEB_VIEW(webkit_web_view_new());
  content_ = webkit_web_view_get_user_content_manager(view_);
  WebKitSettings* settings = webkit_web_view_get_settings(view_);
  // Script errors and console lines land in the test's output.
  webkit_settings_set_enable_write_console_messages_to_stdout(settings, TRUE);

  if (options.bridge) {
    const std::string handler(platform::webview_bridge_handler);
    webkit_user_content_manager_register_script_message_handler(content_, handler.c_str());
    message_handler_ = g_signal_connect(content_, ("script-message-received::" + handler).c_str(),
                                        G_CALLBACK(&PageWindow::on_message), this);
    options.scripts.insert(options.scripts.begin(), std::string(platform::webview_bridge_script()));
  }
  for (const std::string& source : options.scripts) {
    WebKitUserScript* script = webkit_user_script_new(
        source.c_str(), WEBKIT_USER_CONTENT_INJECT_TOP_FRAME,
        WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, nullptr, nullptr);
    webkit_user_content_manager_add_script(content_, script);
    webkit_user_script_unref(script);
  }
  g_signal_connect(view_, "context-menu", G_CALLBACK(&PageWindow::on_context_menu), this);
  g_signal_connect(view_, "load-changed", G_CALLBACK(&PageWindow::on_load_changed), this);

  window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_decorated(GTK_WINDOW(window_), FALSE);
  gtk_window_set_default_size(GTK_WINDOW(window_), options.width, options.height);
  gtk_window_set_resizable(GTK_WINDOW(window_), FALSE);
  gtk_widget_set_size_request(GTK_WIDGET(view_), options.width, options.height);
  gtk_container_add(GTK_CONTAINER(window_), GTK_WIDGET(view_));
  gtk_window_move(GTK_WINDOW(window_), 0, 0);
  gtk_widget_show_all(window_);
  gtk_window_present(GTK_WINDOW(window_));
  gtk_widget_grab_focus(GTK_WIDGET(view_));
  pump_until([this] { return gtk_widget_get_mapped(GTK_WIDGET(view_)) != FALSE; }, milliseconds(5000));
}

PageWindow::~PageWindow() {
  if (message_handler_ != 0) {
    g_signal_handler_disconnect(content_, message_handler_);
    webkit_user_content_manager_unregister_script_message_handler(
        content_, std::string(platform::webview_bridge_handler).c_str());
  }
  g_signal_handlers_disconnect_by_data(view_, this);
  gtk_widget_destroy(window_);
  // Lets the engine finish closing the page before the next window opens.
  pump_for(milliseconds(20));
}

void PageWindow::on_message(WebKitUserContentManager*, void* result, void* self) {
  JSCValue* value = webkit_javascript_result_get_js_value(static_cast<WebKitJavascriptResult*>(result));
  TextPtr text(jsc_value_to_string(value));
  static_cast<PageWindow*>(self)->messages_.emplace_back(text ? text.get() : "");
}

int PageWindow::on_context_menu(WebKitWebView*, void*, void*, void*, void* self) {
  ++static_cast<PageWindow*>(self)->context_menus_;
  return TRUE;  // never shown, even when a test fails
}

void PageWindow::on_load_changed(WebKitWebView*, int event, void* self) {
  if (event == WEBKIT_LOAD_FINISHED) static_cast<PageWindow*>(self)->loaded_ = true;
}

tl::expected<void, std::string> PageWindow::load(const std::string& html, milliseconds timeout) {
  loaded_ = false;
  webkit_web_view_load_html(view_, html.c_str(), nullptr);
  if (!pump_until([this] { return loaded_; }, timeout)) {
    return tl::unexpected(std::string("the page did not finish loading"));
  }
  return {};
}

tl::expected<std::string, std::string> PageWindow::eval(std::string_view script, milliseconds timeout) {
  return evaluate(script, As::Json, timeout);
}

tl::expected<std::string, std::string> PageWindow::eval_text(std::string_view script, milliseconds timeout) {
  return evaluate(script, As::Text, timeout);
}

tl::expected<std::string, std::string> PageWindow::evaluate(std::string_view script, As as,
                                                            milliseconds timeout) {
  Pending pending;
  // The page's own JSON.stringify keeps the order of an object's keys; the
  // completion value comes from an indirect eval of the script as text.
  const std::string source = as == As::Json
      ? "(function () { var v = (0, eval)(" + js_string(script) + ");"
        " return v === undefined ? undefined : JSON.stringify(v); })()"
      : std::string(script);
  webkit_web_view_evaluate_javascript(view_, source.c_str(), static_cast<gssize>(source.size()), nullptr,
                                      nullptr, pending.cancel_token(), &Pending::complete, &pending);
  if (!await(*this, pending, timeout)) return tl::unexpected(std::string("the script did not finish in time"));

  GError* raw_error = nullptr;
  JSCValue* raw = webkit_web_view_evaluate_javascript_finish(view_, pending.result, &raw_error);
  ErrorPtr error(raw_error);
  ObjectPtr value(raw);
  if (!raw) return tl::unexpected(std::string(error ? error->message : "the script failed"));
  if (as == As::Json && jsc_value_is_undefined(raw)) return std::string("undefined");
  TextPtr text(jsc_value_to_string(raw));
  return std::string(text ? text.get() : "");
}

bool PageWindow::pump_until(const std::function<bool()>& done, milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  // A steady tick, so that a blocking iteration never waits past the deadline.
  const guint tick = g_timeout_add(5, [](gpointer) -> gboolean { return G_SOURCE_CONTINUE; }, nullptr);
  bool reached = done();
  while (!reached && std::chrono::steady_clock::now() < deadline) {
    g_main_context_iteration(nullptr, TRUE);
    reached = done();
  }
  g_source_remove(tick);
  return reached;
}

void PageWindow::pump_for(milliseconds duration) {
  pump_until([] { return false; }, duration);
}

bool PageWindow::wait_for_messages(std::size_t count, milliseconds timeout) {
  return pump_until([&] { return messages_.size() >= count; }, timeout);
}

// The X server's own test input (XTest): the events arrive as a real mouse
// or keyboard's would, through GDK's input devices to the window under the
// pointer.
namespace {

Display* x_display() { return GDK_DISPLAY_XDISPLAY(gdk_display_get_default()); }

void move_pointer(GtkWidget* widget, int x, int y) {
  int left = 0;
  int top = 0;
  gdk_window_get_origin(gtk_widget_get_window(widget), &left, &top);
  XTestFakeMotionEvent(x_display(), -1, left + x, top + y, CurrentTime);
}

}  // namespace

void PageWindow::press(int x, int y, MouseButton button) {
  move_pointer(GTK_WIDGET(view_), x, y);
  XTestFakeButtonEvent(x_display(), static_cast<unsigned>(button), True, CurrentTime);
  XFlush(x_display());
  pump_for(milliseconds(30));
}

void PageWindow::release(int x, int y, MouseButton button) {
  move_pointer(GTK_WIDGET(view_), x, y);
  XTestFakeButtonEvent(x_display(), static_cast<unsigned>(button), False, CurrentTime);
  XFlush(x_display());
  pump_for(milliseconds(30));
}

void PageWindow::click(int x, int y, MouseButton button) {
  press(x, y, button);
  release(x, y, button);
}

void PageWindow::key(unsigned keyval) {
  const KeyCode code = XKeysymToKeycode(x_display(), keyval);
  XTestFakeKeyEvent(x_display(), code, True, CurrentTime);
  XTestFakeKeyEvent(x_display(), code, False, CurrentTime);
  XFlush(x_display());
  pump_for(milliseconds(30));
}

tl::expected<void, std::string> PageWindow::snapshot(const std::string& png_path, milliseconds timeout) {
  Pending pending;
  webkit_web_view_get_snapshot(view_, WEBKIT_SNAPSHOT_REGION_VISIBLE, WEBKIT_SNAPSHOT_OPTIONS_NONE,
                               pending.cancel_token(), &Pending::complete, &pending);
  if (!await(*this, pending, timeout)) return tl::unexpected(std::string("the snapshot did not come in time"));

  GError* raw_error = nullptr;
  SurfacePtr surface(webkit_web_view_get_snapshot_finish(view_, pending.result, &raw_error));
  ErrorPtr error(raw_error);
  if (!surface) return tl::unexpected(std::string(error ? error->message : "no snapshot"));
  if (cairo_surface_write_to_png(surface.get(), png_path.c_str()) != CAIRO_STATUS_SUCCESS) {
    return tl::unexpected("the snapshot could not be written to " + png_path);
  }
  return {};
}

std::string embedded_page_text() {
  auto page = setup::decode_embedded_page();
  if (!page) throw std::runtime_error("the embedded page does not decode: " + page.error());
  return *page;
}

}  // namespace page_test
