// Closing, quitting, and the actions that run with the state given back.
#include <string>

#include <fmt/format.h>

#include "morvane/config.hpp"
#include "platform/message_box.hpp"
#include "platform/overloaded.hpp"
#include "setup/window/window_host.hpp"

namespace setup {

namespace {

// The caption of the boxes that the window shows, the main window's own.
std::string window_caption() { return std::string(config::setup_caption); }

platform::BoxAnswer ask(UiThread& ui, platform::BoxSpec box) {
  void* owner = ui.main_window != nullptr ? ui.main_window->native_handle() : nullptr;
  return platform::ask_message_box(box, owner);
}

void confirm_close(UiThread& ui, bool updating) {
  const std::string text =
      updating ? fmt::format("Stop updating {0}? Your installed {0} stays as it is.", config::product_name)
               : fmt::format("Stop installing {}? Nothing will be installed.", config::product_name);
  const platform::BoxAnswer answer = ask(ui, {.caption = window_caption(),
                                              .text = text,
                                              .icon = platform::BoxIcon::Question,
                                              .buttons = platform::BoxButtons::YesNo});
  if (answer != platform::BoxAnswer::Yes) return;
  if (ui.main_window != nullptr) ui.main_window->hide();
  auto state = ui.state.take();
  if (!state) return;
  if ((*state)->display != DisplayState::Running) {
    // The outcome came, and was shown, while the box was open: the work has
    // ended, so the close ends the run as a close in that view would.
    quit_loop(ui, **state, (*state)->display == DisplayState::Done);
    return;
  }
  (*state)->cancel_requested = true;
  (*state)->cancel_requested_at = ui.layer.now();
  (*state)->cancel->store(true, std::memory_order_relaxed);
}

void show_page(UiThread& ui) {
  std::unique_ptr<platform::Splash> splash;
  platform::WebView* web_view = nullptr;
  if (auto state = ui.state.take()) {
    splash = std::move((*state)->splash);
    web_view = (*state)->web_view.get();
  }
  if (ui.main_window != nullptr) ui.main_window->show();
  splash.reset();
  if (web_view != nullptr) web_view->focus();
}

}  // namespace

void quit_loop(UiThread& ui, WindowState& state, bool success) {
  state.exit = ExitQuit{success};
  ui.layer.quit_loop();
}

PageAction decide_close(UiThread& ui, WindowState& state) {
  if (state.display != DisplayState::Running) {
    quit_loop(ui, state, state.display == DisplayState::Done);
    return page_action::None{};
  }
  const std::optional<SetupStatus> progress = state.shared->progress();
  if (progress && (progress->phase == SetupPhase::Verifying || progress->phase == SetupPhase::Installing)) {
    return page_action::ShowFinishing{};
  }
  return page_action::ConfirmClose{progress && progress->from_version.has_value()};
}

void on_close_requested(UiThread& ui) {
  PageAction action = page_action::None{};
  if (auto state = ui.state.take()) action = decide_close(ui, **state);
  perform_action(ui, action);
}

void perform_action(UiThread& ui, const PageAction& action) {
  std::visit(
      platform::Overloaded{
          [](const page_action::None&) {},
          [&](const page_action::PageReady&) { show_page(ui); },
          [&](const page_action::ConfirmClose& close) { confirm_close(ui, close.updating); },
          [&](const page_action::ShowFinishing&) {
            ask(ui, {.caption = window_caption(),
                     .text = fmt::format("{} is being put in place; it is done in a moment.", config::product_name),
                     .icon = platform::BoxIcon::Information});
          },
          [&](const page_action::OpenPath& open) { ui.layer.open_file(open.path); },
      },
      action);
}

}  // namespace setup
