// A scripted stand-in for the window layer: it records what the window's
// logic asks of it, lets the test play the loop (ticks of the timer, the
// clock, the page's messages, the system's close request), and makes the
// web view come up, fail, or wait, as the test says.
#pragma once

#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/window.hpp"

namespace window_test {

using namespace std::chrono_literals;

// How the web engine or the web view answers when asked for.
enum class Creation {
  Succeeds,  // at once
  Fails,     // at once, with an error
  Waits,     // not until the test calls complete_environment / complete_view
};

struct FakeLayerOptions {
  bool splash = true;
  bool main_window = true;
  Creation environment = Creation::Succeeds;
  Creation view = Creation::Succeeds;
  bool load_fails = false;
  // Runs posted work at once, inside post(), instead of from the loop.
  bool run_posts_at_once = false;
};

class FakeLayer;

// What the fake's objects share with it; they may outlive one another.
struct FakeRecord {
  std::vector<std::string> events;  // everything, in order
  std::vector<std::string> splash_texts;
  std::vector<std::string> scripts;
  std::vector<std::string> loaded_pages;
  std::optional<platform::MainWindowSpec> window_spec;
  std::optional<platform::Colour> view_background;
  std::vector<platform::Path> environment_folders;
  bool splash_alive = false;
  bool window_alive = false;
  bool window_visible = false;
  bool view_alive = false;
  bool environment_alive = false;
  bool timer_alive = false;
  std::function<void()> close_handler;
  std::function<void(std::string)> message_handler;
  std::function<void(std::string)> failure_handler;
  std::function<void()> timer_tick;
  // Called with each script the page is given, as a page would run it.
  std::function<void(const std::string&)> page;
};

class FakeLayer final : public platform::WindowLayer {
 public:
  explicit FakeLayer(FakeLayerOptions options = {});
  ~FakeLayer() override;

  // What run_loop plays. When it returns without a quit, the loop ends as if
  // the system's loop had failed.
  std::function<void(FakeLayer&)> scenario;

  // One timer tick (when a timer runs), with posted work run before and after.
  void tick();
  // Moves the clock on.
  void advance(std::chrono::milliseconds by);
  // Ticks, 100 ms of clock apart, until `done` holds; false when it has not
  // after 5 seconds of real time (the worker runs on its own thread).
  bool tick_until(const std::function<bool()>& done);
  // The page posts a message (its JSON text); posted work runs after it.
  void post_message(const std::string& json);
  // The user closes the window from outside the page.
  void request_close();
  // The engine behind the page stops; posted work runs after it.
  void crash_view();
  // Runs what was posted, oldest first, including what that posts.
  void run_posted();
  // Lets a waiting environment or view creation answer.
  void complete_environment(bool succeed);
  void complete_view(bool succeed);

  bool quit_requested() const { return quit_requested_; }
  bool ran_script(const std::string& script) const;
  bool ran_script_starting(const std::string& prefix) const;
  std::shared_ptr<FakeRecord> record() const { return record_; }
  const FakeRecord& seen() const { return *record_; }

  // The layer's operations.
  std::unique_ptr<platform::Splash> show_splash(std::string_view text) override;
  std::unique_ptr<platform::MainWindow> create_main_window(const platform::MainWindowSpec& layout) override;
  void create_web_environment(const platform::Path& user_data_dir,
                              std::function<void(platform::WebEnvironmentResult)> done) override;
  std::unique_ptr<platform::Timer> start_timer(std::chrono::milliseconds every, std::function<void()> tick) override;
  void post(std::function<void()> work) override;
  void run_loop() override;
  void quit_loop() override;
  void open_file(const platform::Path& path) override;
  void start_program(const platform::Path& program, const platform::Path& working_dir) override;
  std::chrono::steady_clock::time_point now() override { return now_; }

  FakeLayerOptions options;

 private:
  friend class FakeEnvironment;
  std::shared_ptr<FakeRecord> record_ = std::make_shared<FakeRecord>();
  std::deque<std::function<void()>> posted_;
  std::chrono::steady_clock::time_point now_{std::chrono::hours(1000)};
  bool quit_requested_ = false;
  std::function<void(platform::WebEnvironmentResult)> pending_environment_;
  std::function<void(platform::WebViewResult)> pending_view_;
};

}  // namespace window_test
