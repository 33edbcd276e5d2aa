// The page's message channel to the host, for WebKitGTK.
//
// On Windows, WebView2 gives every page window.chrome.webview.postMessage(value),
// and the host reads each message as JSON text. Here the window layer injects
// this script at document start in the top frame, after registering the script
// message handler "morvaneHost" (webview_bridge_handler in webview_bridge.hpp),
// so the same page runs unchanged on both:
//
// - postMessage(value) posts JSON.stringify(value) as one string, which the
//   host receives as the message's JSON text, as WebView2's
//   get_WebMessageAsJson gives it: {type: "ready"} arrives as {"type":"ready"}.
// - A value that has no JSON form (undefined, a function, a cycle) throws a
//   TypeError, as WebView2 does, and posts nothing.
// - Without the handler (a document shown outside the host) the script
//   defines nothing, so the page sees no channel at all.
// - window.chrome.webview cannot be replaced or removed by the page.
(function () {
  "use strict";
  var handlers = window.webkit && window.webkit.messageHandlers;
  var handler = handlers && handlers.morvaneHost;
  if (!handler) return;

  var send = handler.postMessage.bind(handler);
  var stringify = JSON.stringify;
  var webview = Object.freeze({
    postMessage: function postMessage(value) {
      var json = stringify(value);
      if (typeof json !== "string") {
        throw new TypeError("postMessage: the message has no JSON form");
      }
      send(json);
    }
  });

  var chrome = window.chrome;
  if (chrome === null || (typeof chrome !== "object" && typeof chrome !== "function")) {
    chrome = {};
    Object.defineProperty(window, "chrome", { value: chrome });
  }
  Object.defineProperty(chrome, "webview", { value: webview });
})();
