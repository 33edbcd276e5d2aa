#include "setup/window/window_run.hpp"

#include <chrono>
#include <stdexcept>
#include <thread>

#include "morvane/config.hpp"
#include "setup/common/message_boxes.hpp"
#include "setup/common/sentences.hpp"
#include "setup/window/theme.hpp"

namespace setup {

namespace {

using namespace std::chrono_literals;

// The worker thread, waited for when the run ends however it ends, unless
// it was let go.
class WorkerThread {
 public:
  explicit WorkerThread(std::thread thread) : thread_(std::move(thread)) {}
  WorkerThread(const WorkerThread&) = delete;
  WorkerThread& operator=(const WorkerThread&) = delete;
  ~WorkerThread() { join(); }

  void join() {
    if (thread_.joinable()) thread_.join();
  }
  void let_go() {
    if (thread_.joinable()) thread_.detach();
  }

 private:
  std::thread thread_;
};

std::unique_ptr<platform::MainWindow> create_main_window(platform::WindowLayer& layer) {
  return layer.create_main_window({
      .title = std::string(config::setup_caption),
      .size = {880, 540},
      .background = theme_background(read_light_theme()),
  });
}

// The outcome in the final box, and its exit code.
int show_outcome_box(const InstallResult& outcome) {
  if (outcome) {
    show_message_box(success_caption(), installed_text(outcome->version), false);
    return 0;
  }
  show_message_box(failure_caption(), outcome.error(), true);
  return 1;
}

}  // namespace

WindowRunEnd run_window_host(platform::WindowLayer& layer, WindowRunSetup setup) {
  auto shared = std::make_shared<SharedStatus>();
  auto cancel = std::make_shared<CancelFlag>(false);
  auto [job_sender, job_receiver] = make_job_channel();

  // Declared before the UI thread's record, so that on every way out the
  // record (and with it the job channel's sending end) goes first and the
  // worker can end.
  WorkerThread worker(std::thread(run_window_worker, std::move(job_receiver), setup.job_runner, shared, cancel,
                                  setup.install_dir));
  job_sender.send(InstallJob{});

  auto ui = make_ui_thread(layer, setup.page_source);
  std::unique_ptr<platform::Splash> splash = layer.show_splash(starting_text());
  std::unique_ptr<platform::MainWindow> window = create_main_window(layer);
  ui->main_window = window.get();

  WindowState initial;
  initial.job_sender.emplace(std::move(job_sender));
  initial.install_dir = setup.install_dir;
  initial.status_text = starting_text();
  initial.shared = shared;
  initial.cancel = cancel;
  initial.splash = std::move(splash);
  initial.web_view_gone = window == nullptr;
  initial.window = std::move(window);
  ui->state.put(std::move(initial));

  std::unique_ptr<platform::Timer> timer = layer.start_timer(100ms, [weak = ui->self] {
    if (auto ui = weak.lock()) on_timer_tick(*ui);
  });
  if (ui->main_window != nullptr) {
    ui->main_window->on_close_request([weak = ui->self] {
      if (auto ui = weak.lock()) on_close_requested(*ui);
    });
    create_web_view_environment(*ui, setup.user_data_dir);
  }

  layer.run_loop();

  std::optional<WindowState> taken = ui->state.take_out();
  if (!taken) throw std::logic_error("the window's state lives until its loop ends");
  WindowState state = std::move(*taken);
  timer.reset();
  state.web_view.reset();
  state.splash.reset();
  ui->main_window = nullptr;
  state.window.reset();
  ui->page_events.clear();
  const bool busy = state.cancel_requested_at && !shared->has_outcome();
  state.environment.reset();
  state.job_sender.reset();
  remove_user_data_folder(setup.user_data_dir, setup.folder_removal);

  if (busy) {
    worker.let_go();
    return {.exit_code = 1, .at_once = true};
  }

  if (std::holds_alternative<ExitPending>(state.exit)) {
    std::optional<InstallResult> outcome = shared->take_outcome();
    state.exit = ExitHeld{outcome ? std::move(*outcome) : InstallResult(tl::unexpect, could_not_install_text())};
  }
  const WindowExit exit = std::move(state.exit);
  { WindowState released = std::move(state); }
  worker.join();

  if (const auto* quit = std::get_if<ExitQuit>(&exit)) return {.exit_code = quit->success ? 0 : 1};
  return {.exit_code = show_outcome_box(std::get<ExitHeld>(exit).outcome)};
}

}  // namespace setup
