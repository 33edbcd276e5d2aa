// The page-event queue: what the web view's callbacks leave for the loop,
// and how each event is handled once the loop gets to it.
#include <string>
#include <type_traits>

#include "setup/window/theme.hpp"
#include "setup/window/window_host.hpp"

namespace setup {

namespace {

// A callback of the layer that queues what it is given as an event, as long
// as the UI thread's record is still there.
template <class Event, class Result>
std::function<void(Result)> queue_as(const UiThread& ui) {
  return [weak = ui.self](Result result) {
    if (auto ui = weak.lock()) push_page_event(*ui, Event{std::move(result)});
  };
}

void on_environment_created(UiThread& ui, WindowState& state, EnvironmentCreated& event) {
  if (!event.result || state.web_view_gone || !state.window) {
    tear_down_web_view(state);
    return;
  }
  std::unique_ptr<platform::WebEnvironment> environment = std::move(*event.result);
  environment->create_web_view(*state.window, queue_as<ControllerCreated, platform::WebViewResult>(ui));
  state.environment = std::move(environment);
}

// Configures a new web view and gives it the page. A step that fails leaves
// the view stored and torn down; a background that is not taken is ignored.
void set_up_controller(UiThread& ui, WindowState& state, ControllerCreated& event) {
  if (!event.result || state.web_view_gone) {
    tear_down_web_view(state);
    return;
  }
  state.web_view = std::move(*event.result);
  platform::WebView& view = *state.web_view;
  state.light_theme = read_light_theme();
  view.set_default_background(theme_background(state.light_theme));
  view.on_message([weak = ui.self](std::string json) {
    if (auto ui = weak.lock()) push_page_event(*ui, WebMessage{std::move(json)});
  });
  view.on_failure([weak = ui.self](std::string why) {
    if (auto ui = weak.lock()) push_page_event(*ui, WebViewFailed{std::move(why)});
  });
  const auto page = ui.page_source();
  if (!page || !view.load_html(*page)) tear_down_web_view(state);
}

void on_web_message(UiThread& ui, WindowState& state, const WebMessage& event, PageAction& action) {
  const std::optional<PageMessage> message = parse_page_message_type(event.json);
  if (!message || state.web_view_gone) return;
  action = apply_page_message(ui, state, *message);
}

PageAction handle_page_event(UiThread& ui, WindowState& state, PageEvent& event) {
  PageAction action = page_action::None{};
  std::visit(
      [&](auto& e) {
        using E = std::decay_t<decltype(e)>;
        if constexpr (std::is_same_v<E, EnvironmentCreated>) {
          on_environment_created(ui, state, e);
        } else if constexpr (std::is_same_v<E, ControllerCreated>) {
          set_up_controller(ui, state, e);
        } else if constexpr (std::is_same_v<E, WebViewFailed>) {
          // A page whose engine has stopped can show no outcome: it goes the
          // way of a web view that never came up, and the outcome, when it
          // comes, ends in the final box.
          tear_down_web_view(state);
        } else {
          on_web_message(ui, state, e, action);
        }
      },
      event);
  return action;
}

}  // namespace

std::shared_ptr<UiThread> make_ui_thread(platform::WindowLayer& layer, PageSource page_source) {
  auto ui = std::make_shared<UiThread>(layer, std::move(page_source));
  ui->self = ui;
  return ui;
}

void push_page_event(UiThread& ui, PageEvent event) {
  ui.page_events.push_back(std::move(event));
  ui.layer.post([weak = ui.self] {
    if (auto ui = weak.lock()) drain_page_events(*ui);
  });
}

void drain_page_events(UiThread& ui) {
  while (!ui.state.taken() && !ui.page_events.empty()) {
    PageEvent event = std::move(ui.page_events.front());
    ui.page_events.pop_front();
    PageAction action = page_action::None{};
    if (auto state = ui.state.take()) action = handle_page_event(ui, **state, event);
    perform_action(ui, action);
  }
}

void create_web_view_environment(UiThread& ui, const platform::Path& user_data_dir) {
  ui.layer.create_web_environment(user_data_dir, queue_as<EnvironmentCreated, platform::WebEnvironmentResult>(ui));
}

void tear_down_web_view(WindowState& state) {
  if (state.web_view_gone) return;
  state.web_view_gone = true;
  state.web_view.reset();
  state.environment.reset();
}

}  // namespace setup
