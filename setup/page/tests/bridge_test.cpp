// The bridge script (platform/posix/webview_bridge.js): the page's
// window.chrome.webview.postMessage over WebKit's script message handler,
// and the page without any channel at all.
#include "platform/posix/webview_bridge.hpp"
#include "setup/page/tests/page_fixture.hpp"

namespace page_test {
namespace {

// Records every uncaught error of the page's own scripts.
constexpr const char* error_recorder = R"js(
  window.__errors = [];
  window.addEventListener("error", function (e) { window.__errors.push(String(e.message)); });
)js";

class BridgeTest : public ::testing::Test {
 protected:
  // A plain document instead of the page.
  void open_blank(PageWindowOptions options = {}) {
    options.scripts.push_back(error_recorder);
    window_ = std::make_unique<PageWindow>(std::move(options));
    auto loaded = window_->load("<!DOCTYPE html><title>blank</title><p>blank</p>");
    ASSERT_TRUE(loaded) << loaded.error();
  }
  std::string run_blank(std::string_view script) {
    auto result = window_->eval(script);
    return result ? *result : "error: " + result.error();
  }
  std::unique_ptr<PageWindow> window_;
};

TEST_F(BridgeTest, PostsEachMessageAsItsJsonText) {
  open_blank();
  run_blank(R"(window.chrome.webview.postMessage({ type: "close" }))");
  run_blank(R"(window.chrome.webview.postMessage({ type: "x", n: 1.5, list: [true, null], text: "\u2014\"" }))");
  run_blank(R"(window.chrome.webview.postMessage("close"))");
  run_blank(R"(window.chrome.webview.postMessage(7))");
  ASSERT_TRUE(window_->wait_for_messages(4));
  EXPECT_EQ(window_->messages(),
            (std::vector<std::string>{R"({"type":"close"})", "{\"type\":\"x\",\"n\":1.5,\"list\":[true,null],\"text\":\"\u2014\\\"\"}",
                                      R"("close")", "7"}));
}

TEST_F(BridgeTest, AValueWithoutJsonFormThrowsAndPostsNothing) {
  open_blank();
  EXPECT_EQ(run_blank(R"((function () {
    var results = [];
    var cycle = {}; cycle.self = cycle;
    [undefined, function () {}, cycle].forEach(function (value) {
      try { window.chrome.webview.postMessage(value); results.push("posted"); }
      catch (e) { results.push(e.name); }
    });
    return results;
  })())"),
            R"(["TypeError","TypeError","TypeError"])");
  window_->pump_for(milliseconds(300));
  EXPECT_TRUE(window_->messages().empty());
}

TEST_F(BridgeTest, ThePageCannotReplaceTheChannel) {
  open_blank();
  run_blank(R"((function () {
    try { window.chrome.webview = { postMessage: function () {} }; } catch (e) {}
    try { delete window.chrome.webview; } catch (e) {}
    try { window.chrome.webview.postMessage = function () {}; } catch (e) {}
    window.chrome.webview.postMessage({ type: "still" });
  })())");
  ASSERT_TRUE(window_->wait_for_messages(1));
  EXPECT_EQ(window_->messages(), std::vector<std::string>{R"({"type":"still"})"});
}

TEST_F(BridgeTest, WithoutTheHandlerTheScriptDefinesNothing) {
  PageWindowOptions options;
  options.bridge = false;
  options.scripts.push_back(std::string(platform::webview_bridge_script()));
  open_blank(options);
  EXPECT_EQ(run_blank("typeof window.chrome"), R"("undefined")");
  EXPECT_EQ(run_blank("window.__errors"), "[]");
}

// The page in a document with no channel, or a broken one: everything works
// and nothing throws.
class NoChannelTest : public PageTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(NoChannelTest, ThePageWorksAndNothingFails) {
  PageWindowOptions options;
  options.bridge = false;
  options.scripts.push_back(error_recorder);
  if (*GetParam() != '\0') options.scripts.push_back(GetParam());
  open(options);
  run(R"(mv.state({"phase":"downloading","fraction":0.5,"total_bytes":10,"done_bytes":5}))");
  run(R"(document.getElementById("close").dispatchEvent(new MouseEvent("click", { bubbles: true })))");
  run(R"(document.querySelector("#bar .word").dispatchEvent(new MouseEvent("mousedown", { bubbles: true, button: 0 })))");
  run(R"(mv.done({"version":"1.2.0"}))");
  run(R"(document.dispatchEvent(new KeyboardEvent("keydown", { key: "Escape", bubbles: true })))");
  run(R"(document.querySelector("#v-done .primary").dispatchEvent(new MouseEvent("click", { bubbles: true })))");
  settle();
  EXPECT_EQ(run("window.__errors"), "[]");
  EXPECT_EQ(text("document.getElementById('done-title').textContent"), "Morvane 1.2.0 is installed");
  EXPECT_TRUE(window().messages().empty());
}

const char* const channels[] = {
    "",                                  // no window.chrome at all
    "window.chrome = {};",               // a chrome without webview
    "window.chrome = { webview: {} };",  // a webview without postMessage
    "window.chrome = { webview: { postMessage: function () { throw new Error('refused'); } } };",
};

std::string channel_name(const ::testing::TestParamInfo<const char*>& info) {
  const char* const names[] = {"NoChrome", "NoWebview", "NoPostMessage", "PostMessageThrows"};
  return names[info.index];
}

INSTANTIATE_TEST_SUITE_P(Channels, NoChannelTest, ::testing::ValuesIn(channels), channel_name);

}  // namespace
}  // namespace page_test
