// The window layer on GTK 3: the splash, the main window, the timer, the
// wake-up, the loop and the boxes. The web view is in window_webkit.cpp.
#include <gtk/gtk.h>

#include <algorithm>
#include <memory>
#include <utility>

#include <fmt/format.h>

#include "platform/posix/window_gtk.hpp"
#include "platform/process.hpp"

// Read by LeakSanitizer in sanitizer builds: fontconfig and JavaScriptCore
// keep caches for the life of the process and never free them at exit. A
// leak of ours (a GObject, a GError, a string from GLib) is allocated
// elsewhere and still reported.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\n"
         "leak:libjavascriptcoregtk-4.1.so\n";
}

namespace platform {

namespace gtk_window {

namespace {

// The loop that a fault ends, and the fault it ends with. There is one layer
// per process, on the UI thread.
GMainLoop* current_loop = nullptr;
std::exception_ptr pending_fault;

// A closure that GLib owns and runs, and frees when its source goes.
struct Closure {
  std::function<void()> work;
  static gboolean run_once(gpointer data) {
    guarded(static_cast<Closure*>(data)->work);
    return G_SOURCE_REMOVE;
  }
  static gboolean run_again(gpointer data) {
    guarded(static_cast<Closure*>(data)->work);
    return G_SOURCE_CONTINUE;
  }
  static void free(gpointer data) { delete static_cast<Closure*>(data); }
};

// Colours a widget's background with a style of its own.
void paint_background(GtkWidget* widget, Colour colour) {
  GtkCssProvider* provider = gtk_css_provider_new();
  const std::string css =
      fmt::format("* {{ background-color: #{:02x}{:02x}{:02x}; }}", colour.red, colour.green, colour.blue);
  gtk_css_provider_load_from_data(provider, css.c_str(), -1, nullptr);
  gtk_style_context_add_provider(gtk_widget_get_style_context(widget), GTK_STYLE_PROVIDER(provider),
                                 GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
  g_object_unref(provider);
}

// Where the pointer is on the screen, or nothing without one.
bool pointer_position(int& x, int& y) {
  GdkDisplay* display = gdk_display_get_default();
  GdkSeat* seat = display != nullptr ? gdk_display_get_default_seat(display) : nullptr;
  GdkDevice* pointer = seat != nullptr ? gdk_seat_get_pointer(seat) : nullptr;
  if (pointer == nullptr) return false;
  gdk_device_get_position(pointer, nullptr, &x, &y);
  return true;
}

class GtkTimer final : public Timer {
 public:
  explicit GtkTimer(guint source) : source_(source) {}
  ~GtkTimer() override { g_source_remove(source_); }

 private:
  guint source_;
};

class GtkSplash final : public Splash {
 public:
  explicit GtkSplash(std::string_view text) {
    window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    g_object_ref_sink(window_);
    gtk_window_set_decorated(GTK_WINDOW(window_), FALSE);
    gtk_window_set_resizable(GTK_WINDOW(window_), FALSE);
    gtk_window_set_type_hint(GTK_WINDOW(window_), GDK_WINDOW_TYPE_HINT_SPLASHSCREEN);
    gtk_window_set_position(GTK_WINDOW(window_), GTK_WIN_POS_CENTER);
    GtkWidget* frame = gtk_frame_new(nullptr);
    gtk_frame_set_shadow_type(GTK_FRAME(frame), GTK_SHADOW_IN);
    gtk_widget_set_size_request(frame, 460, 90);
    label_ = gtk_label_new(std::string(text).c_str());
    gtk_label_set_justify(GTK_LABEL(label_), GTK_JUSTIFY_CENTER);
    gtk_container_add(GTK_CONTAINER(frame), label_);
    gtk_container_add(GTK_CONTAINER(window_), frame);
    gtk_widget_show_all(window_);
    seams::log(fmt::format("splash: {}", text));
  }
  ~GtkSplash() override {
    gtk_widget_destroy(window_);
    g_object_unref(window_);
    seams::log("splash closed");
  }

  void set_text(std::string_view text) override {
    gtk_label_set_text(GTK_LABEL(label_), std::string(text).c_str());
    seams::log(fmt::format("splash text: {}", text));
  }

 private:
  GtkWidget* window_ = nullptr;
  GtkWidget* label_ = nullptr;
};

class GtkMainWindow final : public ParentWindow {
 public:
  explicit GtkMainWindow(const MainWindowSpec& layout) {
    window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    g_object_ref_sink(window_);
    gtk_window_set_title(GTK_WINDOW(window_), layout.title.c_str());
    gtk_window_set_decorated(GTK_WINDOW(window_), FALSE);
    gtk_window_set_resizable(GTK_WINDOW(window_), FALSE);
    paint_background(window_, layout.background);
    content_ = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
    gtk_widget_set_size_request(content_, layout.size.width, layout.size.height);
    gtk_container_add(GTK_CONTAINER(window_), content_);
    centre(layout.size);
    g_signal_connect(window_, "delete-event", G_CALLBACK(&GtkMainWindow::on_delete), this);
  }
  ~GtkMainWindow() override {
    g_signal_handlers_disconnect_by_data(window_, this);
    gtk_widget_destroy(window_);
    g_object_unref(window_);
  }

  void show() override {
    gtk_widget_show_all(window_);
    gtk_window_present(GTK_WINDOW(window_));
    seams::log("main window shown");
  }
  void hide() override {
    gtk_widget_hide(window_);
    seams::log("main window hidden");
  }
  void minimise() override {
    gtk_window_iconify(GTK_WINDOW(window_));
    seams::log("main window minimised");
  }
  void begin_drag() override {
    int x = 0;
    int y = 0;
    if (!pointer_position(x, y)) return;
    gtk_window_begin_move_drag(GTK_WINDOW(window_), 1, x, y, gtk_get_current_event_time());
    seams::log("main window dragged");
  }
  WindowSize client_size() const override {
    return {gtk_widget_get_allocated_width(content_), gtk_widget_get_allocated_height(content_)};
  }
  void on_close_request(std::function<void()> handler) override { close_handler_ = std::move(handler); }
  void* native_handle() override { return window_; }
  GtkWidget* content() override { return content_; }

 private:
  // In the middle of the work area of the monitor under the pointer.
  void centre(WindowSize size) {
    GdkDisplay* display = gdk_display_get_default();
    int px = 0;
    int py = 0;
    GdkMonitor* monitor = pointer_position(px, py) ? gdk_display_get_monitor_at_point(display, px, py)
                                                   : gdk_display_get_primary_monitor(display);
    GdkRectangle area{0, 0, 0, 0};
    if (monitor != nullptr) gdk_monitor_get_workarea(monitor, &area);
    gtk_window_move(GTK_WINDOW(window_), area.x + std::max(0, area.width - size.width) / 2,
                    area.y + std::max(0, area.height - size.height) / 2);
  }

  static gboolean on_delete(GtkWidget*, GdkEvent*, gpointer self) {
    auto* window = static_cast<GtkMainWindow*>(self);
    if (window->close_handler_) guarded(window->close_handler_);
    return TRUE;  // never closed from outside; the host decides
  }

  GtkWidget* window_ = nullptr;
  GtkWidget* content_ = nullptr;
  std::function<void()> close_handler_;
};

class GtkLayer final : public WindowLayer {
 public:
  GtkLayer() {
    has_display_ = gtk_init_check(nullptr, nullptr) == TRUE;
    loop_ = g_main_loop_new(nullptr, FALSE);
    current_loop = loop_;
    BoxPresenter presenter = seams::box_presenter();
    if (!presenter && has_display_) presenter = present_gtk_box;
    if (presenter) {
      previous_presenter_ = set_box_presenter(std::move(presenter));
      presenter_set_ = true;
    }
  }
  ~GtkLayer() override {
    if (presenter_set_) set_box_presenter(std::move(previous_presenter_));
    for (guint source : posted_) g_source_remove(source);
    current_loop = nullptr;
    g_main_loop_unref(loop_);
  }

  std::unique_ptr<Splash> show_splash(std::string_view text) override {
    if (!has_display_) return nullptr;
    return std::make_unique<GtkSplash>(text);
  }

  std::unique_ptr<MainWindow> create_main_window(const MainWindowSpec& layout) override {
    if (!has_display_) return nullptr;
    return std::make_unique<GtkMainWindow>(layout);
  }

  void create_web_environment(const Path& user_data_dir, std::function<void(WebEnvironmentResult)> done) override {
    if (!has_display_) {
      done(tl::unexpected(std::string("there is no display")));
      return;
    }
    create_webkit_environment(user_data_dir, std::move(done));
  }

  std::unique_ptr<Timer> start_timer(std::chrono::milliseconds every, std::function<void()> tick) override {
    const auto interval = static_cast<guint>(std::max<std::chrono::milliseconds::rep>(every.count(), 1));
    const guint source = g_timeout_add_full(G_PRIORITY_DEFAULT, interval, &Closure::run_again,
                                            new Closure{std::move(tick)}, &Closure::free);
    return std::make_unique<GtkTimer>(source);
  }

  void post(std::function<void()> work) override {
    // The source is forgotten once it has run; whatever has not run when the
    // layer goes is removed with it.
    auto* record = new Posted{this, 0, std::move(work)};
    record->source = g_idle_add_full(G_PRIORITY_DEFAULT, &Posted::run, record, &Posted::free);
    posted_.push_back(record->source);
  }

  void run_loop() override {
    if (!std::exchange(quit_requested_, false)) g_main_loop_run(loop_);
    quit_requested_ = false;
    if (pending_fault) std::rethrow_exception(std::exchange(pending_fault, nullptr));
  }

  void quit_loop() override {
    quit_requested_ = true;
    g_main_loop_quit(loop_);
  }

  void open_file(const Path& path) override {
    seams::log(fmt::format("open file: {}", display(path)));
    (void)spawn_hidden("xdg-open", {path.string()});
  }

  void start_program(const Path& program, const Path& working_dir) override {
    seams::log(fmt::format("start program: {} in {}", display(program), display(working_dir)));
    (void)platform::start_program(program, working_dir);
  }

  std::chrono::steady_clock::time_point now() override { return std::chrono::steady_clock::now(); }

 private:
  struct Posted {
    GtkLayer* layer;
    guint source;
    std::function<void()> work;
    static gboolean run(gpointer data) {
      auto* posted = static_cast<Posted*>(data);
      auto& sources = posted->layer->posted_;
      sources.erase(std::remove(sources.begin(), sources.end(), posted->source), sources.end());
      guarded(posted->work);
      return G_SOURCE_REMOVE;
    }
    static void free(gpointer data) { delete static_cast<Posted*>(data); }
  };

  bool has_display_ = false;
  GMainLoop* loop_ = nullptr;
  bool quit_requested_ = false;
  bool presenter_set_ = false;
  BoxPresenter previous_presenter_;
  std::vector<guint> posted_;
};

}  // namespace

void guarded(const std::function<void()>& work) {
  try {
    work();
  } catch (...) {
    keep_fault(std::current_exception());
  }
}

void keep_fault(std::exception_ptr fault) {
  if (!pending_fault) pending_fault = std::move(fault);
  if (current_loop != nullptr) g_main_loop_quit(current_loop);
}

BoxAnswer present_gtk_box(const BoxSpec& box, void* owner) {
  GtkMessageType type = GTK_MESSAGE_INFO;
  if (box.icon == BoxIcon::Error) type = GTK_MESSAGE_ERROR;
  if (box.icon == BoxIcon::Question) type = GTK_MESSAGE_QUESTION;
  const bool yes_no = box.buttons == BoxButtons::YesNo;
  GtkWidget* dialog = gtk_message_dialog_new(owner != nullptr ? GTK_WINDOW(owner) : nullptr, GTK_DIALOG_MODAL, type,
                                             yes_no ? GTK_BUTTONS_YES_NO : GTK_BUTTONS_OK, "%s", box.text.c_str());
  gtk_window_set_title(GTK_WINDOW(dialog), box.caption.c_str());
  gtk_window_set_position(GTK_WINDOW(dialog), owner != nullptr ? GTK_WIN_POS_CENTER_ON_PARENT : GTK_WIN_POS_CENTER);
  if (yes_no) gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_NO);
  seams::log(fmt::format("dialog: {}", message_box_line(box)));
  const gint response = gtk_dialog_run(GTK_DIALOG(dialog));
  gtk_widget_destroy(dialog);
  if (!yes_no) return BoxAnswer::Ok;
  return response == GTK_RESPONSE_YES ? BoxAnswer::Yes : BoxAnswer::No;
}

}  // namespace gtk_window

std::unique_ptr<WindowLayer> open_window_layer() { return std::make_unique<gtk_window::GtkLayer>(); }

}  // namespace platform
