// The system's window layer on a real display (an Xvfb server of the test's
// own): the web view with the bridge, its refusals, the boxes and the
// windows (the loop's own cases, the timer during a modal box and a close
// from outside: ../window_layer_test.cpp).
#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <cstdlib>

#include <gtest/gtest.h>

#include "platform/message_box.hpp"
#include "platform/window.hpp"
#include "platform/tests/window_layer_shared.hpp"
#include "testkit/temp_dir.hpp"

namespace {

using namespace std::chrono_literals;

class WindowLayer : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "needs a display: CTest runs this under with_xvfb.sh";
    layer = platform::open_window_layer();
  }

  void run_for_at_most(std::chrono::milliseconds limit) { platform_test::run_loop_for_at_most(*layer, limit); }

  // A main window with a web view in it, the page's messages collected.
  void open_page(const std::string& html, std::size_t quit_after_messages) {
    window = layer->create_main_window({"Morvane Setup", {880, 540}, {0x0A, 0x06, 0x18}});
    ASSERT_TRUE(window);
    layer->create_web_environment(data.path(), [&](platform::WebEnvironmentResult result) {
      ASSERT_TRUE(result) << result.error();
      environment = std::move(*result);
    });
    ASSERT_TRUE(environment);
    environment->create_web_view(*window, [&](platform::WebViewResult result) {
      ASSERT_TRUE(result) << result.error();
      view = std::move(*result);
    });
    ASSERT_TRUE(view);
    EXPECT_TRUE(view->set_default_background({0x0A, 0x06, 0x18}));
    view->on_message([this, quit_after_messages](std::string json) {
      messages.push_back(std::move(json));
      if (messages.size() == quit_after_messages) layer->quit_loop();
    });
    ASSERT_TRUE(view->load_html(html));
    window->show();
  }

  testkit::TempDir data;
  std::unique_ptr<platform::WindowLayer> layer;
  std::unique_ptr<platform::MainWindow> window;
  std::unique_ptr<platform::WebEnvironment> environment;
  std::unique_ptr<platform::WebView> view;
  std::vector<std::string> messages;
};

TEST_F(WindowLayer, LoadsThePageFromTextAndHandsOnItsMessagesAsJsonText) {
  open_page(R"(<!DOCTYPE html><meta charset="utf-8"><body><script>
      chrome.webview.postMessage({type: "ready", n: [1, "<\u2028"]});
      chrome.webview.postMessage("just text");
      window.addEventListener("load", () => chrome.webview.postMessage({type: "loaded", title: document.title}));
    </script><title>caf&eacute;</title></body>)",
            3);
  run_for_at_most(10s);
  ASSERT_EQ(messages.size(), 3u);
  EXPECT_EQ(messages[0], "{\"type\":\"ready\",\"n\":[1,\"<\u2028\"]}");
  EXPECT_EQ(messages[1], R"("just text")");
  EXPECT_EQ(messages[2], "{\"type\":\"loaded\",\"title\":\"caf\u00e9\"}");

  // A script the host runs reaches the page, which answers.
  view->run_script(R"(chrome.webview.postMessage({type: "echo", size: [innerWidth, innerHeight]}))");
  view->on_message([&](std::string json) {
    messages.push_back(std::move(json));
    layer->quit_loop();
  });
  run_for_at_most(10s);
  ASSERT_EQ(messages.size(), 4u);
  EXPECT_EQ(messages[3], R"({"type":"echo","size":[880,540]})") << "the view fills the window";
  EXPECT_EQ(window->client_size(), (platform::WindowSize{880, 540}));
}

TEST_F(WindowLayer, RefusesEveryNavigationAfterThePagesOwnAndEveryNewWindow) {
  open_page(R"(<!DOCTYPE html><body><a id="link" href="about:blank">away</a><form id="form" action="about:blank"></form><script>
      const post = (value) => chrome.webview.postMessage(value);
      post({type: "opened", value: String(window.open("about:blank", "_blank"))});
      setTimeout(() => { location.href = "about:blank"; }, 50);
      setTimeout(() => document.getElementById("link").click(), 150);
      setTimeout(() => document.getElementById("form").submit(), 250);
      setTimeout(() => location.reload(), 350);
      setTimeout(() => post({type: "still", href: location.href, marker: typeof post}), 1200);
    </script></body>)",
            2);
  run_for_at_most(10s);
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0], R"({"type":"opened","value":"null"})");
  EXPECT_EQ(messages[1], R"({"type":"still","href":"about:blank","marker":"function"})")
      << "the page is still the one that was loaded";
}

TEST_F(WindowLayer, PageScriptsCannotShowDialogs) {
  open_page(R"(<!DOCTYPE html><body><script>
      const started = Date.now();
      alert("hello");
      const answer = confirm("sure?");
      chrome.webview.postMessage({type: "after", answer: answer, waited: Date.now() - started < 2000});
    </script></body>)",
            1);
  run_for_at_most(10s);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0], R"({"type":"after","answer":false,"waited":true})");
}

// The web view inside a main window of the layer.
WebKitWebView* web_view_in(platform::MainWindow& window) {
  GtkWidget* content = gtk_bin_get_child(GTK_BIN(window.native_handle()));
  GList* children = gtk_container_get_children(GTK_CONTAINER(content));
  WebKitWebView* view = children != nullptr ? WEBKIT_WEB_VIEW(children->data) : nullptr;
  g_list_free(children);
  return view;
}

TEST_F(WindowLayer, AnEngineThatStopsIsReportedOnce) {
  open_page("<!DOCTYPE html><script>chrome.webview.postMessage({type: 'ready'});</script>", 1);
  std::vector<std::string> failures;
  view->on_failure([&](std::string why) {
    failures.push_back(std::move(why));
    layer->quit_loop();
  });
  run_for_at_most(10s);
  ASSERT_EQ(messages.size(), 1u);
  WebKitWebView* engine = web_view_in(*window);
  ASSERT_NE(engine, nullptr);
  webkit_web_view_terminate_web_process(engine);
  run_for_at_most(10s);
  EXPECT_EQ(failures, std::vector<std::string>{"the page's process ended"});
}

// The first GTK message dialog on the screen, or nullptr.
GtkDialog* open_dialog() {
  GList* windows = gtk_window_list_toplevels();
  GtkDialog* found = nullptr;
  for (GList* item = windows; item != nullptr; item = item->next) {
    if (GTK_IS_MESSAGE_DIALOG(item->data) && gtk_widget_get_visible(GTK_WIDGET(item->data))) {
      found = GTK_DIALOG(item->data);
    }
  }
  g_list_free(windows);
  return found;
}

}  // namespace

namespace platform_test {

std::optional<OpenBox> find_open_box() {
  GtkDialog* dialog = open_dialog();
  if (dialog == nullptr) return std::nullopt;
  gchar* text = nullptr;
  g_object_get(dialog, "text", &text, nullptr);
  OpenBox box{gtk_window_get_title(GTK_WINDOW(dialog)), text != nullptr ? text : "",
              gtk_window_get_transient_for(GTK_WINDOW(dialog))};
  g_free(text);
  return box;
}

void press_yes_on_open_box() {
  if (GtkDialog* dialog = open_dialog()) gtk_dialog_response(dialog, GTK_RESPONSE_YES);
}

void request_close_from_outside(platform::MainWindow& window) {
  gtk_window_close(GTK_WINDOW(window.native_handle()));
}

bool is_shown(platform::MainWindow& window) {
  return gtk_widget_get_visible(GTK_WIDGET(window.native_handle())) == TRUE;
}

}  // namespace platform_test

namespace {

TEST_F(WindowLayer, AnOkBoxAnswersOkAndAYesNoBoxClosedOtherwiseAnswersNo) {
  std::vector<platform::BoxAnswer> answers;
  auto timer = layer->start_timer(100ms, [&] {
    if (GtkDialog* dialog = open_dialog()) gtk_dialog_response(dialog, GTK_RESPONSE_DELETE_EVENT);
  });
  layer->post([&] {
    answers.push_back(platform::ask_message_box({"Morvane", "done", platform::BoxIcon::Information}));
    answers.push_back(platform::ask_message_box(
        {"Morvane Setup", "sure?", platform::BoxIcon::Question, platform::BoxButtons::YesNo}));
    layer->quit_loop();
  });
  run_for_at_most(10s);
  EXPECT_EQ(answers, (std::vector<platform::BoxAnswer>{platform::BoxAnswer::Ok, platform::BoxAnswer::No}));
}

TEST_F(WindowLayer, TheMainWindowIsUndecoratedWithItsTitleAndCanBeHidden) {
  window = layer->create_main_window({"Morvane Setup", {880, 540}, {0xFB, 0xF8, 0xF1}});
  ASSERT_TRUE(window);
  window->show();
  auto* gtk = GTK_WINDOW(window->native_handle());
  EXPECT_FALSE(gtk_window_get_decorated(gtk));
  EXPECT_STREQ(gtk_window_get_title(gtk), "Morvane Setup");
  window->hide();
  EXPECT_FALSE(gtk_widget_get_visible(GTK_WIDGET(gtk)));
}

// The text of the first label below a widget.
std::string label_text(GtkWidget* widget) {
  if (GTK_IS_LABEL(widget)) return gtk_label_get_text(GTK_LABEL(widget));
  if (!GTK_IS_CONTAINER(widget)) return {};
  GList* children = gtk_container_get_children(GTK_CONTAINER(widget));
  std::string text;
  for (GList* item = children; item != nullptr && text.empty(); item = item->next) {
    text = label_text(GTK_WIDGET(item->data));
  }
  g_list_free(children);
  return text;
}

GtkWindow* splash_window() {
  GList* windows = gtk_window_list_toplevels();
  GtkWindow* found = nullptr;
  for (GList* item = windows; item != nullptr; item = item->next) {
    if (gtk_window_get_type_hint(GTK_WINDOW(item->data)) == GDK_WINDOW_TYPE_HINT_SPLASHSCREEN &&
        gtk_widget_get_visible(GTK_WIDGET(item->data))) {
      found = GTK_WINDOW(item->data);
    }
  }
  g_list_free(windows);
  return found;
}

TEST_F(WindowLayer, TheSplashShowsOneLineThatCanChangeAndGoesWhenDestroyed) {
  auto splash = layer->show_splash("Starting the Morvane installer\u2026");
  ASSERT_TRUE(splash);
  GtkWindow* shown = splash_window();
  ASSERT_NE(shown, nullptr);
  EXPECT_EQ(label_text(GTK_WIDGET(shown)), "Starting the Morvane installer\u2026");
  splash->set_text("Downloading Morvane 1.2.0 \u2014 1 of 3 MB");
  EXPECT_EQ(label_text(GTK_WIDGET(shown)), "Downloading Morvane 1.2.0 \u2014 1 of 3 MB");
  splash.reset();
  EXPECT_EQ(splash_window(), nullptr);
}

}  // namespace
