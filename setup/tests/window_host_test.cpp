// The window's decisions against the scripted layer: what it shows and
// sends to the page, and what the page's messages do.
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

TEST_F(WindowHostTest, ShowsTheSplashThenThePageAndEndsWithExitZeroWhenClosedInTheDoneView) {
  const auto end = run([&](FakeLayer& l) {
    EXPECT_EQ(l.seen().splash_texts, std::vector<std::string>{starting_line});
    ASSERT_TRUE(l.seen().window_spec);
    EXPECT_EQ(l.seen().window_spec->title, window_caption);
    EXPECT_EQ(l.seen().window_spec->size, (platform::WindowSize{880, 540}));
    EXPECT_EQ(l.seen().window_spec->background, (platform::Colour{0xFB, 0xF8, 0xF1}));
    EXPECT_FALSE(l.seen().window_visible);
    EXPECT_EQ(l.seen().environment_folders, std::vector<platform::Path>{data_dir});
    EXPECT_EQ(l.seen().view_background, (platform::Colour{0xFB, 0xF8, 0xF1}));
    EXPECT_EQ(l.seen().loaded_pages, std::vector<std::string>{the_page});
    EXPECT_TRUE(l.seen().timer_alive);

    ASSERT_TRUE(jobs.wait_for_jobs(1));
    jobs.report(in_phase(SetupPhase::Starting));
    l.tick();
    jobs.report(downloading(1, 2'500'000));
    l.tick();
    EXPECT_EQ(l.seen().splash_texts, (std::vector<std::string>{starting_line, asking_line,
                                                               "Downloading Morvane 1.2.0 \u2014 1 of 3 MB"}));
    EXPECT_TRUE(l.seen().scripts.empty()) << "nothing goes to a page that is not ready";

    ready(l);
    const auto& events = l.seen().events;
    const std::string state =
        R"(mv.state({"phase":"downloading","version":"1.2.0","fraction":0.0000,"done_bytes":1,"total_bytes":2500000,"files_done":0,"files_total":4}))";
    EXPECT_EQ(l.seen().scripts, (std::vector<std::string>{light_theme, state}));
    EXPECT_TRUE(l.seen().window_visible);
    EXPECT_FALSE(l.seen().splash_alive);
    EXPECT_LT(index_of(events, std::string("script: ") + light_theme), index_of(events, "script: " + state));
    EXPECT_LT(index_of(events, "script: " + state), index_of(events, "window shown"));
    EXPECT_LT(index_of(events, "window shown"), index_of(events, "splash closed"));
    EXPECT_LT(index_of(events, "splash closed"), index_of(events, "view focused"));

    jobs.finish(installed("1.2.0"));
    wait_for_script(l, "mv.done");
    EXPECT_EQ(l.seen().scripts.back(), R"(mv.done({"version":"1.2.0","updated":false}))");
    l.post_message(R"({"type":"close"})");
    EXPECT_TRUE(l.quit_requested());
  });
  EXPECT_EQ(end.exit_code, 0);
  EXPECT_FALSE(end.at_once);
  EXPECT_TRUE(boxes.seen.empty());
  EXPECT_FALSE(layer->seen().timer_alive);
  EXPECT_FALSE(layer->seen().view_alive);
  EXPECT_FALSE(layer->seen().window_alive);
  EXPECT_FALSE(layer->seen().environment_alive);
}

TEST_F(WindowHostTest, EachOutcomeGetsItsViewAndACloseThereEndsWithoutABox) {
  const struct {
    setup::InstallResult outcome;
    std::string script;
    int exit_code;
  } cases[] = {
      {installed("1.2.0", "1.1.0"), R"(mv.done({"version":"1.2.0","updated":true}))", 0},
      {installed("1.2.0"), R"(mv.done({"version":"1.2.0","updated":false}))", 0},
      {installed("1.2.0", std::nullopt, true), R"(mv.current({"version":"1.2.0"}))", 0},
      {failed("Morvane's download server could not be reached. Check this computer's connection and run the "
              "installer again."),
       R"(mv.failed({"sentence":"Morvane's download server could not be reached.","todo":"Check this computer's connection and try again."}))",
       1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.script);
    boxes.seen.clear();
    const auto end = run([&](FakeLayer& l) {
      ready(l);
      ASSERT_TRUE(jobs.wait_for_jobs(1));
      jobs.finish(c.outcome);
      wait_for_script(l, c.script);
      // The outcome is shown once, however often the timer ticks after it.
      l.tick();
      l.tick();
      EXPECT_EQ(l.seen().scripts.back(), c.script);
      EXPECT_EQ(count_starting_with(l.seen().scripts, c.script), 1u);
      l.post_message(R"({"type":"close"})");
    });
    EXPECT_EQ(end.exit_code, c.exit_code);
    EXPECT_TRUE(boxes.seen.empty());
  }
}

TEST_F(WindowHostTest, IdenticalStatusesSendNoScriptAndOneDifferingOnlyInFilesDoneSendsOne) {
  run([&](FakeLayer& l) {
    ready(l);
    ASSERT_TRUE(jobs.wait_for_jobs(1));
    EXPECT_EQ(l.seen().scripts, (std::vector<std::string>{light_theme, starting_state}));
    l.tick();
    l.tick();
    EXPECT_EQ(l.seen().scripts.size(), 2u) << "an idle tick sends nothing";

    setup::SetupStatus status = downloading(100, 1000);
    jobs.report(status);
    l.tick();
    EXPECT_EQ(l.seen().scripts.size(), 3u);
    jobs.report(status);
    l.tick();
    EXPECT_EQ(l.seen().scripts.size(), 3u);
    status.files_done = 1;
    jobs.report(status);
    l.tick();
    ASSERT_EQ(l.seen().scripts.size(), 4u);
    EXPECT_EQ(l.seen().scripts.back(),
              R"(mv.state({"phase":"downloading","version":"1.2.0","fraction":0.1000,"done_bytes":100,"total_bytes":1000,"files_done":1,"files_total":4}))");
    jobs.finish(failed("x"));
    wait_for_script(l, "mv.failed");
    l.post_message(R"({"type":"close"})");
  });
}

TEST_F(WindowHostTest, ASecondReadyDoesAgainWhatTheFirstDid) {
  run([&](FakeLayer& l) {
    ready(l);
    ready(l);
    const auto& events = l.seen().events;
    EXPECT_EQ(count_starting_with(l.seen().scripts, starting_state), 2u);
    EXPECT_EQ(count_starting_with(events, "window shown"), 2u);
    EXPECT_EQ(count_starting_with(events, "view focused"), 2u);
    EXPECT_EQ(count_starting_with(events, "splash closed"), 1u);
    ASSERT_TRUE(jobs.wait_for_jobs(1));
    jobs.finish(failed("x"));
    wait_for_script(l, "mv.failed");
    l.post_message(R"({"type":"close"})");
  });
}

TEST_F(WindowHostTest, OpenStartsTheProductFromTheInstallFolderOnlyInTheDoneView) {
  const auto end = run([&](FakeLayer& l) {
    ready(l);
    l.post_message(R"({"type":"open"})");  // the work view
    ASSERT_TRUE(jobs.wait_for_jobs(1));
    jobs.finish(failed("No. Run the installer again."));
    wait_for_script(l, "mv.failed");
    l.post_message(R"({"type":"open"})");  // the failed view
    EXPECT_EQ(count_starting_with(l.seen().events, "start program"), 0u);
    EXPECT_FALSE(l.quit_requested());
    l.post_message(R"({"type":"retry"})");
    ASSERT_TRUE(jobs.wait_for_jobs(2));
    jobs.finish(installed("1.2.0", std::nullopt, true));
    wait_for_script(l, "mv.current");
    l.post_message(R"({"type":"open"})");
    EXPECT_TRUE(l.quit_requested());
  });
  EXPECT_EQ(end.exit_code, 0);
  EXPECT_TRUE(boxes.seen.empty());
  EXPECT_EQ(count_starting_with(layer->seen().events,
                                "start program: " + (install_dir / "morvane.exe").string() + " in " +
                                    install_dir.string()),
            1u);
}

TEST_F(WindowHostTest, RetryInTheFailedViewRunsTheWorkAgainFromStartingAndNowhereElse) {
  const auto end = run([&](FakeLayer& l) {
    ready(l);
    ASSERT_TRUE(jobs.wait_for_jobs(1));
    l.post_message(R"({"type":"retry"})");  // the work view: nothing
    jobs.report(downloading(3, 10));
    jobs.finish(failed("Morvane could not be installed. Run the installer again."));
    wait_for_script(l, "mv.failed");
    EXPECT_EQ(jobs.jobs_started(), 1);

    l.post_message(R"({"type":"retry"})");
    EXPECT_EQ(l.seen().scripts.back(), starting_state);
    ASSERT_TRUE(jobs.wait_for_jobs(2));
    EXPECT_FALSE(jobs.cancel_seen());
    // Both fields were emptied: the next tick shows the starting status
    // again, not the old download, and no outcome.
    l.tick();
    EXPECT_EQ(l.seen().scripts.back(), starting_state);
    EXPECT_FALSE(l.seen().splash_alive);
    jobs.report(downloading(7, 10));
    l.tick();
    EXPECT_TRUE(l.seen().scripts.back().find("\"done_bytes\":7") != std::string::npos) << l.seen().scripts.back();
    jobs.finish(installed("1.2.0"));
    wait_for_script(l, "mv.done");
    l.post_message(R"({"type":"retry"})");  // the done view: nothing
    l.tick();
    EXPECT_EQ(jobs.jobs_started(), 2);
    l.post_message(R"({"type":"close"})");
  });
  EXPECT_EQ(end.exit_code, 0);
}

TEST_F(WindowHostTest, DetailsOpensTheSetupLogElseTheTemporaryCopyElseNothing) {
  const platform::Path setup_log = install_dir / "updates" / "setup.log";
  const platform::Path temp_log = setup::temp_log_path(install_dir);
  ASSERT_EQ(temp_log.parent_path(), root / "tmp");
  const struct {
    bool with_setup_log;
    bool with_temp_log;
    std::optional<platform::Path> opened;
  } cases[] = {
      {true, true, setup_log},
      {false, true, temp_log},
      {false, false, std::nullopt},
  };
  for (const auto& c : cases) {
    (void)platform::remove_dir_all(install_dir);
    (void)platform::remove_file(temp_log);
    if (c.with_setup_log) {
      ASSERT_TRUE(platform::create_dirs(setup_log.parent_path()));
      ASSERT_TRUE(platform::write_file(setup_log, platform::byte_view("log")));
    }
    if (c.with_temp_log) {
      ASSERT_TRUE(platform::write_file(temp_log, platform::byte_view("log")));
    }
    run([&](FakeLayer& l) {
      ready(l);
      ASSERT_TRUE(jobs.wait_for_jobs(1));
      jobs.finish(failed("No. Run the installer again."));
      wait_for_script(l, "mv.failed");
      l.post_message(R"({"type":"details"})");
      l.post_message(R"({"type":"close"})");
    });
    const std::size_t opened = count_starting_with(layer->seen().events, "open file: ");
    if (c.opened) {
      EXPECT_EQ(opened, 1u);
      EXPECT_EQ(count_starting_with(layer->seen().events, "open file: " + c.opened->string()), 1u);
    } else {
      EXPECT_EQ(opened, 0u);
    }
  }
}

TEST_F(WindowHostTest, MinimiseAndDragGoToTheWindowAndUnknownMessagesToNothing) {
  run([&](FakeLayer& l) {
    ready(l);
    l.post_message(R"({"type":"minimize"})");
    l.post_message(R"({ "type" : "drag" })");
    for (const char* ignored : {R"({"type":"Close"})", R"({"kind":"close"})", "not json", R"({"type":"quit"})"}) {
      l.post_message(ignored);
    }
    EXPECT_TRUE(boxes.seen.empty());
    EXPECT_FALSE(l.quit_requested());
    ASSERT_TRUE(jobs.wait_for_jobs(1));
    jobs.finish(failed("x"));
    wait_for_script(l, "mv.failed");
    l.post_message(R"({"type":"close"})");
  });
  const auto& events = layer->seen().events;
  EXPECT_EQ(count_starting_with(events, "window minimised"), 1u);
  EXPECT_EQ(count_starting_with(events, "window dragged"), 1u);
}

TEST_F(WindowHostTest, AFaultInTheJobIsLoggedAndShownAsThePlainFailure) {
  const auto end = run([&](FakeLayer& l) {
    ready(l);
    ASSERT_TRUE(jobs.wait_for_jobs(1));
    jobs.fault("the disk caught fire");
    wait_for_script(l, "mv.failed");
    EXPECT_EQ(l.seen().scripts.back(),
              R"(mv.failed({"sentence":"Morvane could not be installed.","todo":"Try again."}))");
    l.post_message(R"({"type":"close"})");
  });
  EXPECT_EQ(end.exit_code, 1);
  auto log = platform::read_file(install_dir / "updates" / "setup.log");
  ASSERT_TRUE(log);
  EXPECT_NE(platform::to_string(*log).find(" the installer's worker stopped: the disk caught fire\n"),
            std::string::npos);
}

TEST_F(WindowHostTest, EventsThatArriveWhileTheStateIsTakenWaitForTheLoop) {
  options.run_posts_at_once = true;
  const auto end = run([&](FakeLayer& l) {
    // A page that answers the first state it is given at once, from inside
    // the refresh that sends it.
    l.record()->page = [&l, answered = false](const std::string& script) mutable {
      if (answered || script.rfind("mv.state", 0) != 0) return;
      answered = true;
      l.post_message(R"({"type":"minimize"})");
      EXPECT_EQ(count_starting_with(l.seen().events, "window minimised"), 0u) << "handled inside the refresh";
    };
    ready(l);
    EXPECT_EQ(count_starting_with(l.seen().events, "window minimised"), 1u);
    ASSERT_TRUE(jobs.wait_for_jobs(1));
    jobs.finish(installed("1.2.0"));
    wait_for_script(l, "mv.done");
    l.post_message(R"({"type":"close"})");
  });
  EXPECT_EQ(end.exit_code, 0);
}

TEST_F(WindowHostTest, APageMessageThatArrivesWhileABoxIsOpenIsHandled) {
  boxes.answers = {BoxAnswer::No};
  const auto end = run([&](FakeLayer& l) {
    ready(l);
    ASSERT_TRUE(jobs.wait_for_jobs(1));
    boxes.while_open = [&](const platform::BoxSpec&) {
      // The page keeps working while the box is open: the state is free.
      l.post_message(R"({"type":"minimize"})");
    };
    l.post_message(R"({"type":"close"})");
    boxes.while_open = nullptr;
    EXPECT_EQ(count_starting_with(l.seen().events, "window minimised"), 1u);
    jobs.finish(failed("x"));
    wait_for_script(l, "mv.failed");
    l.post_message(R"({"type":"close"})");
  });
  EXPECT_EQ(end.exit_code, 1);
}

}  // namespace
}  // namespace window_test
