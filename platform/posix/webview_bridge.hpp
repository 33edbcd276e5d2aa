// The bridge that gives a page in WebKitGTK WebView2's message channel,
// window.chrome.webview.postMessage (webview_bridge.js, embedded at build
// time by the morvane_webview_bridge library).
//
// A web view that shows the setup page:
// 1. registers the script message handler webview_bridge_handler on its
//    WebKitUserContentManager, and connects
//    "script-message-received::" + webview_bridge_handler; each message's
//    value is a JavaScript string that holds the message's JSON text;
// 2. adds webview_bridge_script() as a user script for the top frame,
//    injected at document start, before the page is loaded.
#pragma once

#include <string_view>

#include "platform/bytes.hpp"

namespace platform {

// The script message handler that the bridge posts to.
inline constexpr std::string_view webview_bridge_handler = "morvaneHost";

// The bridge script's UTF-8 source, as webview_bridge.js holds it.
ByteView webview_bridge_source();

inline std::string_view webview_bridge_script() { return text_view(webview_bridge_source()); }

}  // namespace platform
