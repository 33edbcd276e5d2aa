// What the web view's callbacks leave for the loop, and what handling an
// event or a close leaves for perform_action.
#pragma once

#include <string>
#include <variant>

#include "platform/path.hpp"
#include "platform/window.hpp"

namespace setup {

// The web engine was started, or failed to.
struct EnvironmentCreated {
  platform::WebEnvironmentResult result;
};
// The web view was made, or failed to be.
struct ControllerCreated {
  platform::WebViewResult result;
};
// The page posted a message: its JSON text.
struct WebMessage {
  std::string json;
};
// The engine behind the page stopped: the page is gone.
struct WebViewFailed {
  std::string why;
};
using PageEvent = std::variant<EnvironmentCreated, ControllerCreated, WebMessage, WebViewFailed>;

namespace page_action {
struct None {
  bool operator==(const None&) const = default;
};
// Show the main window, destroy the splash, focus the page.
struct PageReady {
  bool operator==(const PageReady&) const = default;
};
// Ask whether to stop the work; `updating`: an installed version is being
// updated.
struct ConfirmClose {
  bool updating = false;
  bool operator==(const ConfirmClose&) const = default;
};
// Tell the user that the work ends in a moment.
struct ShowFinishing {
  bool operator==(const ShowFinishing&) const = default;
};
// Open the file with the desktop's handler.
struct OpenPath {
  platform::Path path;
  bool operator==(const OpenPath&) const = default;
};
}  // namespace page_action

using PageAction = std::variant<page_action::None, page_action::PageReady, page_action::ConfirmClose,
                                page_action::ShowFinishing, page_action::OpenPath>;

}  // namespace setup
