#include "setup/tests/window_fake_layer.hpp"

#include <thread>

#include <fmt/format.h>
#include <gtest/gtest.h>

namespace window_test {

namespace {

class FakeSplash final : public platform::Splash {
 public:
  explicit FakeSplash(std::shared_ptr<FakeRecord> record) : record_(std::move(record)) {}
  ~FakeSplash() override {
    record_->splash_alive = false;
    record_->events.push_back("splash closed");
  }
  void set_text(std::string_view text) override {
    record_->splash_texts.emplace_back(text);
    record_->events.push_back(fmt::format("splash text: {}", text));
  }

 private:
  std::shared_ptr<FakeRecord> record_;
};

class FakeWindow final : public platform::MainWindow {
 public:
  explicit FakeWindow(std::shared_ptr<FakeRecord> record) : record_(std::move(record)) {}
  ~FakeWindow() override {
    record_->window_alive = false;
    record_->window_visible = false;
    record_->close_handler = nullptr;
    record_->events.push_back("window destroyed");
  }
  void show() override {
    record_->window_visible = true;
    record_->events.push_back("window shown");
  }
  void hide() override {
    record_->window_visible = false;
    record_->events.push_back("window hidden");
  }
  void minimise() override { record_->events.push_back("window minimised"); }
  void begin_drag() override { record_->events.push_back("window dragged"); }
  platform::WindowSize client_size() const override { return record_->window_spec->size; }
  void on_close_request(std::function<void()> handler) override { record_->close_handler = std::move(handler); }
  void* native_handle() override { return this; }

 private:
  std::shared_ptr<FakeRecord> record_;
};

class FakeView final : public platform::WebView {
 public:
  FakeView(std::shared_ptr<FakeRecord> record, bool load_fails)
      : record_(std::move(record)), load_fails_(load_fails) {
    record_->view_alive = true;
  }
  ~FakeView() override {
    record_->view_alive = false;
    record_->message_handler = nullptr;
    record_->failure_handler = nullptr;
    record_->events.push_back("view closed");
  }
  bool set_default_background(platform::Colour colour) override {
    record_->view_background = colour;
    return true;
  }
  void on_message(std::function<void(std::string)> handler) override {
    record_->message_handler = std::move(handler);
  }
  void on_failure(std::function<void(std::string)> handler) override {
    record_->failure_handler = std::move(handler);
  }
  tl::expected<void, std::string> load_html(std::string_view html) override {
    if (load_fails_) return tl::unexpected(std::string("the page would not load"));
    record_->loaded_pages.emplace_back(html);
    record_->events.push_back("page loaded");
    return {};
  }
  void run_script(std::string_view script) override {
    record_->scripts.emplace_back(script);
    record_->events.push_back(fmt::format("script: {}", script));
    if (record_->page) record_->page(std::string(script));
  }
  void focus() override { record_->events.push_back("view focused"); }

 private:
  std::shared_ptr<FakeRecord> record_;
  bool load_fails_;
};

class FakeTimer final : public platform::Timer {
 public:
  explicit FakeTimer(std::shared_ptr<FakeRecord> record) : record_(std::move(record)) {}
  ~FakeTimer() override {
    record_->timer_alive = false;
    record_->timer_tick = nullptr;
  }

 private:
  std::shared_ptr<FakeRecord> record_;
};

platform::WebViewResult make_view(const std::shared_ptr<FakeRecord>& record, bool succeed, bool load_fails) {
  if (!succeed) return tl::unexpected(std::string("no web view"));
  record->events.push_back("view created");
  return std::make_unique<FakeView>(record, load_fails);
}

}  // namespace

class FakeEnvironment final : public platform::WebEnvironment {
 public:
  explicit FakeEnvironment(FakeLayer& layer) : layer_(layer), record_(layer.record_) {
    record_->environment_alive = true;
  }
  ~FakeEnvironment() override {
    record_->environment_alive = false;
    record_->events.push_back("environment closed");
  }
  void create_web_view(platform::MainWindow&, std::function<void(platform::WebViewResult)> done) override {
    switch (layer_.options.view) {
      case Creation::Succeeds:
        done(make_view(record_, true, layer_.options.load_fails));
        break;
      case Creation::Fails:
        done(make_view(record_, false, false));
        break;
      case Creation::Waits:
        layer_.pending_view_ = std::move(done);
        break;
    }
  }

 private:
  FakeLayer& layer_;
  std::shared_ptr<FakeRecord> record_;
};

FakeLayer::FakeLayer(FakeLayerOptions options) : options(options) {}

FakeLayer::~FakeLayer() = default;

void FakeLayer::tick() {
  run_posted();
  if (record_->timer_tick) {
    auto tick = record_->timer_tick;
    tick();
  }
  run_posted();
}

void FakeLayer::advance(std::chrono::milliseconds by) { now_ += by; }

bool FakeLayer::tick_until(const std::function<bool()>& done) {
  const auto give_up = std::chrono::steady_clock::now() + 5s;
  while (std::chrono::steady_clock::now() < give_up) {
    advance(100ms);
    tick();
    if (done()) return true;
    std::this_thread::sleep_for(1ms);
  }
  return false;
}

void FakeLayer::post_message(const std::string& json) {
  if (!record_->message_handler) {
    ADD_FAILURE() << "a message with no web view to post it: " << json;
    return;
  }
  auto handler = record_->message_handler;
  handler(json);
  run_posted();
}

void FakeLayer::request_close() {
  if (!record_->close_handler) {
    ADD_FAILURE() << "a close request with no main window";
    return;
  }
  auto handler = record_->close_handler;
  handler();
  run_posted();
}

void FakeLayer::crash_view() {
  if (!record_->failure_handler) {
    ADD_FAILURE() << "no web view to crash";
    return;
  }
  auto handler = std::exchange(record_->failure_handler, nullptr);
  handler("the page's process crashed");
  run_posted();
}

void FakeLayer::run_posted() {
  while (!posted_.empty()) {
    auto work = std::move(posted_.front());
    posted_.pop_front();
    work();
  }
}

void FakeLayer::complete_environment(bool succeed) {
  ASSERT_TRUE(pending_environment_) << "no environment is waiting";
  auto done = std::exchange(pending_environment_, nullptr);
  if (succeed) {
    done(std::make_unique<FakeEnvironment>(*this));
  } else {
    done(tl::unexpected(std::string("no environment")));
  }
  run_posted();
}

void FakeLayer::complete_view(bool succeed) {
  ASSERT_TRUE(pending_view_) << "no view is waiting";
  auto done = std::exchange(pending_view_, nullptr);
  done(make_view(record_, succeed, options.load_fails));
  run_posted();
}

bool FakeLayer::ran_script(const std::string& script) const {
  for (const auto& ran : record_->scripts) {
    if (ran == script) return true;
  }
  return false;
}

bool FakeLayer::ran_script_starting(const std::string& prefix) const {
  for (const auto& ran : record_->scripts) {
    if (ran.rfind(prefix, 0) == 0) return true;
  }
  return false;
}

std::unique_ptr<platform::Splash> FakeLayer::show_splash(std::string_view text) {
  if (!options.splash) return nullptr;
  record_->splash_alive = true;
  record_->splash_texts.emplace_back(text);
  record_->events.push_back(fmt::format("splash: {}", text));
  return std::make_unique<FakeSplash>(record_);
}

std::unique_ptr<platform::MainWindow> FakeLayer::create_main_window(const platform::MainWindowSpec& layout) {
  record_->window_spec = layout;
  if (!options.main_window) return nullptr;
  record_->window_alive = true;
  record_->events.push_back("window created");
  return std::make_unique<FakeWindow>(record_);
}

void FakeLayer::create_web_environment(const platform::Path& user_data_dir,
                                       std::function<void(platform::WebEnvironmentResult)> done) {
  record_->environment_folders.push_back(user_data_dir);
  switch (options.environment) {
    case Creation::Succeeds:
      record_->events.push_back("environment created");
      done(std::make_unique<FakeEnvironment>(*this));
      break;
    case Creation::Fails:
      done(tl::unexpected(std::string("no environment")));
      break;
    case Creation::Waits:
      pending_environment_ = std::move(done);
      break;
  }
}

std::unique_ptr<platform::Timer> FakeLayer::start_timer(std::chrono::milliseconds every,
                                                        std::function<void()> tick) {
  EXPECT_EQ(every, 100ms);
  record_->timer_alive = true;
  record_->timer_tick = std::move(tick);
  return std::make_unique<FakeTimer>(record_);
}

void FakeLayer::post(std::function<void()> work) {
  if (options.run_posts_at_once) {
    work();
  } else {
    posted_.push_back(std::move(work));
  }
}

void FakeLayer::run_loop() {
  if (quit_requested_) return;
  run_posted();
  if (scenario) scenario(*this);
}

void FakeLayer::quit_loop() {
  if (!quit_requested_) record_->events.push_back("quit");
  quit_requested_ = true;
}

void FakeLayer::open_file(const platform::Path& path) {
  record_->events.push_back(fmt::format("open file: {}", path.string()));
}

void FakeLayer::start_program(const platform::Path& program, const platform::Path& working_dir) {
  record_->events.push_back(fmt::format("start program: {} in {}", program.string(), working_dir.string()));
}

}  // namespace window_test
