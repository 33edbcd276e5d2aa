// The web view on WebKitGTK 4.1: the engine with its data folder, and one
// view that fills its main window. The page reaches the host through the
// bridge script (webview_bridge.js), injected at document start, which posts
// each message's JSON text to the script message handler.
#include <webkit2/webkit2.h>

#include <fmt/format.h>

#include "platform/posix/webview_bridge.hpp"
#include "platform/posix/window_gtk.hpp"

namespace platform::gtk_window {

namespace {

class WebKitView final : public WebView {
 public:
  WebKitView(WebKitWebContext* context, GtkWidget* parent) {
    content_ = webkit_user_content_manager_new();
    const std::string signal = fmt::format("script-message-received::{}", webview_bridge_handler);
    g_signal_connect(content_, signal.c_str(), G_CALLBACK(&WebKitView::on_script_message), this);
    webkit_user_content_manager_register_script_message_handler(content_,
                                                                std::string(webview_bridge_handler).c_str());
    const std::string bridge(webview_bridge_script());
    WebKitUserScript* script =
        webkit_user_script_new(bridge.c_str(), WEBKIT_USER_CONTENT_INJECT_TOP_FRAME,
                               WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, nullptr, nullptr);
    webkit_user_content_manager_add_script(content_, script);
    webkit_user_script_unref(script);

    WebKitSettings* settings = webkit_settings_new();
    webkit_settings_set_enable_developer_extras(settings, FALSE);
    webkit_settings_set_javascript_can_open_windows_automatically(settings, FALSE);
    webkit_settings_set_enable_back_forward_navigation_gestures(settings, FALSE);

    view_ = GTK_WIDGET(g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", context, "user-content-manager", content_,
                                    "settings", settings, nullptr));
    g_object_unref(settings);
    g_object_ref_sink(view_);
    g_signal_connect(view_, "decide-policy", G_CALLBACK(&WebKitView::on_decide_policy), this);
    g_signal_connect(view_, "create", G_CALLBACK(&WebKitView::on_create), this);
    g_signal_connect(view_, "context-menu", G_CALLBACK(&WebKitView::on_context_menu), this);
    g_signal_connect(view_, "script-dialog", G_CALLBACK(&WebKitView::on_script_dialog), this);
    g_signal_connect(view_, "load-changed", G_CALLBACK(&WebKitView::on_load_changed), this);
    g_signal_connect(view_, "web-process-terminated", G_CALLBACK(&WebKitView::on_terminated), this);
    gtk_widget_set_hexpand(view_, TRUE);
    gtk_widget_set_vexpand(view_, TRUE);
    gtk_box_pack_start(GTK_BOX(parent), view_, TRUE, TRUE, 0);
    gtk_widget_show(view_);
    seams::log("web view created");
  }

  ~WebKitView() override {
    g_signal_handlers_disconnect_by_data(view_, this);
    g_signal_handlers_disconnect_by_data(content_, this);
    webkit_user_content_manager_unregister_script_message_handler(content_,
                                                                  std::string(webview_bridge_handler).c_str());
    gtk_widget_destroy(view_);
    g_object_unref(view_);
    g_object_unref(content_);
    seams::log("web view closed");
  }

  bool set_default_background(Colour colour) override {
    const GdkRGBA rgba{colour.red / 255.0, colour.green / 255.0, colour.blue / 255.0, 1.0};
    webkit_web_view_set_background_color(WEBKIT_WEB_VIEW(view_), &rgba);
    return true;
  }

  void on_message(std::function<void(std::string json)> handler) override { message_handler_ = std::move(handler); }

  void on_failure(std::function<void(std::string why)> handler) override { failure_handler_ = std::move(handler); }

  tl::expected<void, std::string> load_html(std::string_view html) override {
    webkit_web_view_load_html(WEBKIT_WEB_VIEW(view_), std::string(html).c_str(), nullptr);
    seams::log("page loading");
    return {};
  }

  void run_script(std::string_view script) override {
    seams::log(fmt::format("script: {}", script));
    webkit_web_view_evaluate_javascript(WEBKIT_WEB_VIEW(view_), script.data(), static_cast<gssize>(script.size()),
                                        nullptr, nullptr, nullptr, nullptr, nullptr);
  }

  void focus() override { gtk_widget_grab_focus(view_); }

 private:
  static void on_script_message(WebKitUserContentManager*, WebKitJavascriptResult* result, gpointer self) {
    auto* view = static_cast<WebKitView*>(self);
    JSCValue* value = webkit_javascript_result_get_js_value(result);
    // The bridge posts the JSON text as a string; anything else is made JSON
    // here, so the host always reads JSON text.
    gchar* text = jsc_value_is_string(value) ? jsc_value_to_string(value) : jsc_value_to_json(value, 0);
    if (text == nullptr) return;
    std::string json(text);
    g_free(text);
    if (view->message_handler_) guarded([&] { view->message_handler_(std::move(json)); });
  }

  // The first navigation is the page's own load; every later one, and every
  // new window, is refused.
  static gboolean on_decide_policy(WebKitWebView*, WebKitPolicyDecision* decision, WebKitPolicyDecisionType type,
                                   gpointer self) {
    auto* view = static_cast<WebKitView*>(self);
    if (type == WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION && !view->navigated_) {
      view->navigated_ = true;
      return FALSE;
    }
    if (type == WEBKIT_POLICY_DECISION_TYPE_RESPONSE) return FALSE;
    webkit_policy_decision_ignore(decision);
    seams::log("navigation refused");
    return TRUE;
  }

  static GtkWidget* on_create(WebKitWebView*, WebKitNavigationAction*, gpointer) {
    seams::log("new window refused");
    return nullptr;
  }

  static gboolean on_context_menu(WebKitWebView*, WebKitContextMenu*, GdkEvent*, WebKitHitTestResult*, gpointer) {
    return TRUE;
  }

  static gboolean on_script_dialog(WebKitWebView*, WebKitScriptDialog*, gpointer) { return TRUE; }

  static void on_terminated(WebKitWebView*, WebKitWebProcessTerminationReason reason, gpointer self) {
    auto* view = static_cast<WebKitView*>(self);
    std::string why = "the page's process ended";
    if (reason == WEBKIT_WEB_PROCESS_CRASHED) why = "the page's process crashed";
    if (reason == WEBKIT_WEB_PROCESS_EXCEEDED_MEMORY_LIMIT) why = "the page's process ran out of memory";
    seams::log(fmt::format("web view failed: {}", why));
    if (auto handler = std::exchange(view->failure_handler_, nullptr)) guarded([&] { handler(std::move(why)); });
  }

  static void on_load_changed(WebKitWebView* web_view, WebKitLoadEvent event, gpointer self) {
    auto* view = static_cast<WebKitView*>(self);
    if (event != WEBKIT_LOAD_FINISHED || view->loaded_) return;
    view->loaded_ = true;
    seams::log("page loaded");
    const std::string script = seams::page_script();
    if (!script.empty()) {
      webkit_web_view_evaluate_javascript(web_view, script.c_str(), -1, nullptr, nullptr, nullptr, nullptr, nullptr);
    }
  }

  WebKitUserContentManager* content_ = nullptr;
  GtkWidget* view_ = nullptr;
  std::function<void(std::string)> message_handler_;
  std::function<void(std::string)> failure_handler_;
  bool navigated_ = false;
  bool loaded_ = false;
};

class WebKitEnvironment final : public WebEnvironment {
 public:
  explicit WebKitEnvironment(const Path& user_data_dir) {
    const std::string data = (user_data_dir / "data").string();
    const std::string cache = (user_data_dir / "cache").string();
    WebKitWebsiteDataManager* manager = webkit_website_data_manager_new(
        "base-data-directory", data.c_str(), "base-cache-directory", cache.c_str(), nullptr);
    context_ = webkit_web_context_new_with_website_data_manager(manager);
    g_object_unref(manager);
  }
  ~WebKitEnvironment() override { g_object_unref(context_); }

  void create_web_view(MainWindow& window, std::function<void(WebViewResult)> done) override {
    auto* parent = dynamic_cast<ParentWindow*>(&window);
    if (parent == nullptr) {
      done(tl::unexpected(std::string("the window is not one of this layer's")));
      return;
    }
    done(std::make_unique<WebKitView>(context_, parent->content()));
  }

 private:
  WebKitWebContext* context_ = nullptr;
};

}  // namespace

void create_webkit_environment(const Path& user_data_dir, std::function<void(WebEnvironmentResult)> done) {
  if (seams::web_view_refused()) {
    done(tl::unexpected(std::string("the web view is refused for this test")));
    return;
  }
  done(std::make_unique<WebKitEnvironment>(user_data_dir));
}

}  // namespace platform::gtk_window
