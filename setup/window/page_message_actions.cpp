// What each of the page's messages does, with the state taken.
#include "platform/fs.hpp"
#include "setup/common/install_paths.hpp"
#include "setup/common/setup_log.hpp"
#include "setup/window/page_scripts.hpp"
#include "setup/window/window_host.hpp"
#include "update/own_file_names.hpp"

namespace setup {

namespace {

PageAction on_ready(UiThread& ui, WindowState& state) {
  state.page_ready = true;
  // Before the window is shown: the page's colours are those of the theme
  // the window and the web view were drawn in.
  run_page_script(state, theme_script(state.light_theme));
  state.last_pushed.reset();
  refresh_page(ui, state);
  return page_action::PageReady{};
}

PageAction on_details(const WindowState& state) {
  for (const platform::Path& log : {setup_log_path(state.install_dir), temp_log_path(state.install_dir)}) {
    if (platform::is_regular_file(log)) return page_action::OpenPath{log};
  }
  return page_action::None{};
}

void on_retry(WindowState& state) {
  if (state.display != DisplayState::Failed) return;
  state.display = DisplayState::Running;
  state.cancel_requested = false;
  state.cancel_requested_at.reset();
  state.last_pushed.reset();
  state.cancel->store(false, std::memory_order_relaxed);
  state.shared->reset();
  run_page_script(state, build_progress_script(SetupStatus{}));
  if (state.job_sender) state.job_sender->send(InstallJob{});
}

void on_open(UiThread& ui, WindowState& state) {
  if (state.display != DisplayState::Done) return;
  ui.layer.start_program(state.install_dir / update::exe_file_name, state.install_dir);
  quit_loop(ui, state, true);
}

}  // namespace

PageAction apply_page_message(UiThread& ui, WindowState& state, PageMessage message) {
  switch (message) {
    case PageMessage::Ready:
      return on_ready(ui, state);
    case PageMessage::Minimize:
      if (state.window) state.window->minimise();
      break;
    case PageMessage::Drag:
      if (state.window) state.window->begin_drag();
      break;
    case PageMessage::Details:
      return on_details(state);
    case PageMessage::Retry:
      on_retry(state);
      break;
    case PageMessage::Open:
      on_open(ui, state);
      break;
    case PageMessage::Close:
      return decide_close(ui, state);
  }
  return page_action::None{};
}

}  // namespace setup
