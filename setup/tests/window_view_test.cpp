// When the page cannot show the outcome, against the scripted layer: a web
// view that fails or never becomes ready, no main window, a loop that ends
// on its own.
#include <thread>

#include <gtest/gtest.h>

#include "platform/fs.hpp"
#include "setup/common/install_paths.hpp"
#include "setup/tests/window_host_fixture.hpp"

namespace window_test {
namespace {

using platform::BoxAnswer;
using platform::BoxButtons;
using platform::BoxIcon;
using setup::SetupPhase;

TEST_F(WindowHostTest, APageNotReadyFifteenSecondsAfterTheOutcomeIsTornDownAndTheOutcomeBoxed) {
  const struct {
    setup::InstallResult outcome;
    std::string caption;
    std::string text;
    BoxIcon icon;
    int exit_code;
  } cases[] = {
      {installed("1.2.0"), "Morvane", "Morvane 1.2.0 is installed. Open it from the Start menu or the desktop.",
       BoxIcon::Information, 0},
      {failed("It broke. Run the installer again."), failure_caption, "It broke. Run the installer again.",
       BoxIcon::Error, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    boxes.seen.clear();
    const auto end = run([&](FakeLayer& l) {
      ASSERT_TRUE(jobs.wait_for_jobs(1));
      jobs.finish(c.outcome);
      let_worker_store();
      l.tick();  // the outcome is seen: the wait starts
      l.advance(15s);
      l.tick();
      EXPECT_TRUE(l.seen().view_alive) << "exactly fifteen seconds is not yet more";
      l.advance(1ms);
      l.tick();
      EXPECT_FALSE(l.seen().view_alive);
      EXPECT_FALSE(l.seen().environment_alive);
      EXPECT_TRUE(l.quit_requested());
    });
    EXPECT_EQ(end.exit_code, c.exit_code);
    ASSERT_EQ(boxes.seen.size(), 1u);
    EXPECT_EQ(boxes.seen[0].caption, c.caption);
    EXPECT_EQ(boxes.seen[0].text, c.text);
    EXPECT_EQ(boxes.seen[0].icon, c.icon);
    EXPECT_FALSE(layer->seen().window_visible);
    EXPECT_TRUE(layer->seen().scripts.empty());
  }
}

TEST_F(WindowHostTest, AnOutcomeThatArrivesBeforeReadyIsShownWhenReadyComes) {
  const auto end = run([&](FakeLayer& l) {
    ASSERT_TRUE(jobs.wait_for_jobs(1));
    jobs.finish(installed("1.2.0", "1.1.0"));
    let_worker_store();
    l.tick();
    l.advance(14s);
    l.tick();
    ready(l);
    EXPECT_EQ(l.seen().scripts, (std::vector<std::string>{light_theme, starting_state,
                                                          R"(mv.done({"version":"1.2.0","updated":true}))"}));
    EXPECT_TRUE(l.seen().window_visible);
    l.advance(10s);
    l.tick();
    EXPECT_TRUE(l.seen().view_alive);
    l.post_message(R"({"type":"close"})");
  });
  EXPECT_EQ(end.exit_code, 0);
  EXPECT_TRUE(boxes.seen.empty());
}

TEST_F(WindowHostTest, AWebViewThatCannotBeHadLeavesTheOutcomeToTheFinalBox) {
  const struct {
    const char* name;
    Creation environment;
    Creation view;
    bool load_fails;
    bool page_fails;
  } cases[] = {
      {"the environment fails", Creation::Fails, Creation::Succeeds, false, false},
      {"the view fails", Creation::Succeeds, Creation::Fails, false, false},
      {"the page does not load", Creation::Succeeds, Creation::Succeeds, true, false},
      {"the page does not decode", Creation::Succeeds, Creation::Succeeds, false, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    boxes.seen.clear();
    options.environment = c.environment;
    options.view = c.view;
    options.load_fails = c.load_fails;
    if (c.page_fails) page_source = [] { return tl::expected<std::string, std::string>(tl::unexpect, "damaged"); };
    const auto end = run([&](FakeLayer& l) {
      l.tick();
      EXPECT_FALSE(l.seen().view_alive);
      EXPECT_FALSE(l.seen().environment_alive);
      ASSERT_TRUE(jobs.wait_for_jobs(1));
      jobs.report(in_phase(SetupPhase::Verifying));
      l.tick();
      EXPECT_EQ(l.seen().splash_texts.back(), "Checking Morvane 1.2.0\u2026");
      jobs.finish(failed("Morvane could not be installed. Run the installer again."));
      EXPECT_TRUE(l.tick_until([&] { return l.quit_requested(); }));
    });
    EXPECT_EQ(end.exit_code, 1);
    ASSERT_EQ(boxes.seen.size(), 1u);
    EXPECT_EQ(boxes.seen[0].caption, failure_caption);
    EXPECT_EQ(boxes.seen[0].text, generic_failure);
    EXPECT_EQ(boxes.seen[0].icon, BoxIcon::Error);
    EXPECT_FALSE(layer->seen().window_visible);
  }
}

TEST_F(WindowHostTest, AnEnvironmentThatComesAfterTheViewIsGoneIsReleasedUnused) {
  options.environment = Creation::Waits;
  const auto end = run([&](FakeLayer& l) {
    ASSERT_TRUE(jobs.wait_for_jobs(1));
    jobs.finish(installed("1.2.0"));
    let_worker_store();
    l.tick();
    l.advance(15001ms);
    l.tick();
    EXPECT_TRUE(l.quit_requested());
    l.complete_environment(true);
    EXPECT_FALSE(l.seen().environment_alive);
    EXPECT_EQ(count_starting_with(l.seen().events, "view created"), 0u);
  });
  EXPECT_EQ(end.exit_code, 0);
  ASSERT_EQ(boxes.seen.size(), 1u);
  EXPECT_EQ(boxes.seen[0].text, "Morvane 1.2.0 is installed. Open it from the Start menu or the desktop.");
}

TEST_F(WindowHostTest, WithoutAMainWindowTheSplashAloneShowsTheStatusAndTheOutcomeEndsInABox) {
  options.main_window = false;
  const auto end = run([&](FakeLayer& l) {
    EXPECT_TRUE(l.seen().environment_folders.empty()) << "no web view without a main window";
    ASSERT_TRUE(jobs.wait_for_jobs(1));
    for (const auto& status : {in_phase(SetupPhase::Starting), downloading(2'000'001, 9'000'000),
                               in_phase(SetupPhase::Verifying), in_phase(SetupPhase::Installing)}) {
      jobs.report(status);
      l.tick();
    }
    EXPECT_EQ(l.seen().splash_texts,
              (std::vector<std::string>{starting_line, asking_line, "Downloading Morvane 1.2.0 \u2014 3 of 9 MB",
                                        "Checking Morvane 1.2.0\u2026", "Installing Morvane 1.2.0\u2026"}));
    l.tick();
    EXPECT_EQ(l.seen().splash_texts.size(), 5u) << "an unchanged line is not written again";
    jobs.finish(installed("1.2.0"));
    EXPECT_TRUE(l.tick_until([&] { return l.quit_requested(); }));
  });
  EXPECT_EQ(end.exit_code, 0);
  ASSERT_EQ(boxes.seen.size(), 1u);
  EXPECT_EQ(boxes.seen[0].caption, "Morvane");
  EXPECT_FALSE(layer->seen().splash_alive);
}

TEST_F(WindowHostTest, ALoopThatEndsWithoutADecisionShowsTheOutcomeInABox) {
  const auto end = run([&](FakeLayer&) {
    ASSERT_TRUE(jobs.wait_for_jobs(1));
    jobs.finish(failed("It broke."));
    let_worker_store();
  });
  EXPECT_EQ(end.exit_code, 1);
  ASSERT_EQ(boxes.seen.size(), 1u);
  EXPECT_EQ(boxes.seen[0].text, "It broke.");
}


TEST_F(WindowHostTest, APageWhoseEngineStopsIsGoneAndTheOutcomeEndsInABox) {
  const auto end = run([&](FakeLayer& l) {
    ready(l);
    ASSERT_TRUE(jobs.wait_for_jobs(1));
    jobs.report(downloading(1, 10));
    l.tick();
    const std::size_t scripts = l.seen().scripts.size();
    l.crash_view();
    EXPECT_FALSE(l.seen().view_alive);
    EXPECT_FALSE(l.seen().environment_alive);
    jobs.report(downloading(5, 10));
    l.tick();
    EXPECT_EQ(l.seen().scripts.size(), scripts) << "nothing goes to a page that is gone";
    EXPECT_FALSE(l.quit_requested()) << "the work goes on";
    jobs.finish(installed("1.2.0", "1.1.0"));
    EXPECT_TRUE(l.tick_until([&] { return l.quit_requested(); }));
  });
  EXPECT_EQ(end.exit_code, 0);
  ASSERT_EQ(boxes.seen.size(), 1u);
  EXPECT_EQ(boxes.seen[0].text, "Morvane 1.2.0 is installed. Open it from the Start menu or the desktop.");
}
}  // namespace
}  // namespace window_test
