// The UI thread's state of one window-mode run.
#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <variant>

#include "platform/path.hpp"
#include "platform/window.hpp"
#include "setup/common/install_result.hpp"
#include "setup/window/job_channel.hpp"
#include "setup/window/shared_status.hpp"

namespace setup {

using Instant = std::chrono::steady_clock::time_point;

// What the page shows, from the host's side.
enum class DisplayState {
  Running,  // the work view; progress is pushed
  Done,     // the done or the already-current view
  Failed,   // the failed view
};

// How the message loop ended.
struct ExitPending {};  // no decision: the outcome is taken at the loop's end
struct ExitQuit {       // quit_loop: no final box
  bool success = false;
};
struct ExitHeld {  // an outcome that the page cannot show: a final box shows it
  InstallResult outcome;
};
using WindowExit = std::variant<ExitPending, ExitQuit, ExitHeld>;

struct WindowState {
  // Present for the whole loop; released at its end, which closes the channel.
  std::optional<JobSender> job_sender;
  platform::Path install_dir;
  // The line last written to the splash.
  std::string status_text;
  // The status last sent with mv.state; empty at the start, when the page
  // becomes ready and on retry.
  std::optional<SetupStatus> last_pushed;
  WindowExit exit = ExitPending{};
  // When an outcome was first seen while the page was not ready.
  std::optional<Instant> ready_wait_since;
  // When the last close was confirmed; emptied by retry.
  std::optional<Instant> cancel_requested_at;
  std::shared_ptr<SharedStatus> shared;
  std::shared_ptr<CancelFlag> cancel;
  // The windows and the web view objects, destroyed in the reverse order:
  // the web view first, the splash last.
  std::unique_ptr<platform::Splash> splash;
  std::unique_ptr<platform::MainWindow> window;
  std::unique_ptr<platform::WebEnvironment> environment;
  std::unique_ptr<platform::WebView> web_view;
  bool page_ready = false;
  // The theme the web view's background was given when it was set up; the
  // page is told the same one when it is ready, so its colours follow the
  // user's app theme rather than the web engine's own idea of it.
  bool light_theme = true;
  // Set by tear_down_web_view; true from the start when there is no main
  // window.
  bool web_view_gone = false;
  // A close was confirmed and its outcome not yet handled.
  bool cancel_requested = false;
  DisplayState display = DisplayState::Running;
};

// The slot that holds the WindowState on the UI thread. Whoever works on the
// state takes it for the length of that work; a handler that finds it taken
// (an outer handler on the same thread, re-entered through a nested loop) or
// empty skips its work.
class StateSlot {
 public:
  // The state, lent while this lives.
  class Lease {
   public:
    explicit Lease(StateSlot& slot) : slot_(&slot) { slot.taken_ = true; }
    Lease(Lease&& other) noexcept : slot_(std::exchange(other.slot_, nullptr)) {}
    Lease& operator=(Lease&&) = delete;
    Lease(const Lease&) = delete;
    Lease& operator=(const Lease&) = delete;
    ~Lease() {
      if (slot_ != nullptr) slot_->taken_ = false;
    }
    WindowState& operator*() const { return *slot_->state_; }
    WindowState* operator->() const { return &*slot_->state_; }

   private:
    StateSlot* slot_;
  };

  // The state, unless it is taken or there is none.
  std::optional<Lease> take() {
    if (taken_ || !state_) return std::nullopt;
    return std::optional<Lease>(std::in_place, *this);
  }
  bool taken() const { return taken_; }
  bool holds() const { return state_.has_value(); }

  void put(WindowState state) { state_ = std::move(state); }

  // Takes the state out for good, leaving the slot empty; nothing when it is
  // empty or lent.
  std::optional<WindowState> take_out() {
    if (taken_) return std::nullopt;
    return std::exchange(state_, std::nullopt);
  }

 private:
  std::optional<WindowState> state_;
  bool taken_ = false;
};

}  // namespace setup
