// The 100 ms refresh: the worker's status and outcome to the splash and page.
#include <chrono>

#include "setup/common/sentences.hpp"
#include "setup/window/page_scripts.hpp"
#include "setup/window/status_line.hpp"
#include "setup/window/window_host.hpp"

namespace setup {

namespace {

using namespace std::chrono_literals;

// How long a confirmed close waits for the work to return before the loop
// ends anyway, and how long an outcome waits for the page to become ready.
constexpr auto cancel_grace = 2s;
constexpr auto ready_wait = 15s;

// The outcome on the page: the done, current or failed view. `cancel_requested`
// is cleared, as the outcome of a confirmed close has now been handled.
void show_outcome(UiThread& ui, WindowState& state, const InstallResult& outcome) {
  const bool cancelled = std::exchange(state.cancel_requested, false);
  if (outcome) {
    state.display = DisplayState::Done;
    if (cancelled) {
      // The work finished before it saw the stop, but the window is already
      // hidden: the user would never see the done view. The final box says
      // that the product is installed after all.
      state.exit = ExitHeld{outcome};
      ui.layer.quit_loop();
      return;
    }
    run_page_script(state, outcome->already_current
                               ? current_script(outcome->version)
                               : done_script(outcome->version, outcome->previous_version.has_value()));
    return;
  }
  if (cancelled) {
    // The stop that the user asked for: the page is not told.
    quit_loop(ui, state, false);
    return;
  }
  state.display = DisplayState::Failed;
  run_page_script(state, failed_script(outcome.error()));
}

}  // namespace

void run_page_script(WindowState& state, std::string_view script) {
  if (state.web_view) state.web_view->run_script(script);
}

void on_timer_tick(UiThread& ui) {
  if (auto state = ui.state.take()) refresh_page(ui, **state);
  drain_page_events(ui);
}

void refresh_page(UiThread& ui, WindowState& state) {
  const SharedStatus::Snapshot shared = state.shared->snapshot();
  const Instant now = ui.layer.now();

  if (!shared.outcome && state.cancel_requested_at && now - *state.cancel_requested_at > cancel_grace) {
    quit_loop(ui, state, false);
    return;
  }

  std::string text = shared.progress ? format_status_line(*shared.progress) : starting_text();
  if (text != state.status_text && state.splash) state.splash->set_text(text);
  state.status_text = std::move(text);

  if (shared.outcome && !state.page_ready && !state.web_view_gone) {
    if (!state.ready_wait_since) state.ready_wait_since = now;
    if (now - *state.ready_wait_since > ready_wait) tear_down_web_view(state);
  }

  if (state.web_view_gone) {
    if (shared.outcome) {
      state.exit = ExitHeld{*shared.outcome};
      ui.layer.quit_loop();
    }
    return;
  }
  if (!state.page_ready) return;

  if (state.display != DisplayState::Running) return;
  const SetupStatus shown = shared.progress.value_or(SetupStatus{});
  if (!state.last_pushed || *state.last_pushed != shown) {
    run_page_script(state, build_progress_script(shown));
    state.last_pushed = shown;
  }
  if (shared.outcome) show_outcome(ui, state, *shared.outcome);
}

}  // namespace setup
