// Closing the window against the scripted layer: the question, its answers,
// the two-second grace and how each close ends the run.
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

TEST_F(WindowHostTest, ACloseDuringTheWorkAsksWithNoAsTheDefaultAndNoChangesNothing) {
  const struct {
    std::optional<setup::SetupStatus> progress;
    const char* question;
  } cases[] = {
      {std::nullopt, stop_installing},
      {in_phase(SetupPhase::Starting), stop_installing},
      {downloading(5, 10), stop_installing},
      {downloading(5, 10, "1.1.0"), stop_updating},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.question);
    boxes.seen.clear();
    boxes.answers = {BoxAnswer::No};
    const auto end = run([&](FakeLayer& l) {
      ready(l);
      ASSERT_TRUE(jobs.wait_for_jobs(1));
      if (c.progress) jobs.report(*c.progress);
      l.post_message(R"({"type":"close"})");
      ASSERT_EQ(boxes.seen.size(), 1u);
      EXPECT_EQ(boxes.seen[0].caption, window_caption);
      EXPECT_EQ(boxes.seen[0].text, c.question);
      EXPECT_EQ(boxes.seen[0].icon, BoxIcon::Question);
      EXPECT_EQ(boxes.seen[0].buttons, BoxButtons::YesNo);
      EXPECT_TRUE(l.seen().window_visible);
      EXPECT_FALSE(jobs.cancel_seen());
      l.advance(10s);
      l.tick();
      EXPECT_FALSE(l.quit_requested());
      jobs.finish(failed("x"));
      wait_for_script(l, "mv.failed");
      l.post_message(R"({"type":"close"})");
    });
    EXPECT_EQ(end.exit_code, 1);
    EXPECT_EQ(boxes.seen.size(), 1u);
  }
}

TEST_F(WindowHostTest, ACloseWhileVerifyingOrInstallingOnlySaysThatTheWorkEndsInAMoment) {
  for (const SetupPhase phase : {SetupPhase::Verifying, SetupPhase::Installing}) {
    boxes.seen.clear();
    const auto end = run([&](FakeLayer& l) {
      ready(l);
      ASSERT_TRUE(jobs.wait_for_jobs(1));
      jobs.report(in_phase(phase));
      l.post_message(R"({"type":"close"})");
      l.request_close();
      ASSERT_EQ(boxes.seen.size(), 2u);
      for (const auto& box : boxes.seen) {
        EXPECT_EQ(box.caption, window_caption);
        EXPECT_EQ(box.text, finishing);
        EXPECT_EQ(box.icon, BoxIcon::Information);
        EXPECT_EQ(box.buttons, BoxButtons::Ok);
      }
      EXPECT_TRUE(l.seen().window_visible);
      EXPECT_FALSE(jobs.cancel_seen());
      jobs.finish(installed("1.2.0"));
      wait_for_script(l, "mv.done");
      l.request_close();
    });
    EXPECT_EQ(end.exit_code, 0);
  }
}

TEST_F(WindowHostTest, YesHidesTheWindowAndStopsTheWorkWhoseFailureThenEndsWithExitOneAndNoBox) {
  boxes.answers = {BoxAnswer::Yes};
  const auto end = run([&](FakeLayer& l) {
    ready(l);
    ASSERT_TRUE(jobs.wait_for_jobs(1));
    jobs.report(downloading(5, 10));
    l.request_close();
    ASSERT_EQ(boxes.seen.size(), 1u);
    EXPECT_EQ(boxes.seen[0].text, stop_installing);
    EXPECT_FALSE(l.seen().window_visible);
    EXPECT_TRUE(jobs.cancel_seen());
    jobs.finish(failed("The installation was stopped; nothing was installed."));
    EXPECT_TRUE(l.tick_until([&] { return l.quit_requested(); }));
  });
  EXPECT_EQ(end.exit_code, 1);
  EXPECT_FALSE(end.at_once);
  EXPECT_EQ(boxes.seen.size(), 1u) << "no final box";
  EXPECT_FALSE(layer->ran_script_starting("mv.failed")) << "the page is not told";
}

TEST_F(WindowHostTest, WorkThatHasNotReturnedTwoSecondsAfterYesEndsTheProcessAtOnce) {
  ASSERT_TRUE(platform::create_dirs(data_dir / "EBWebView"));
  ASSERT_TRUE(platform::write_file(data_dir / "EBWebView" / "state", platform::byte_view("x")));
  boxes.answers = {BoxAnswer::Yes};
  const auto end = run([&](FakeLayer& l) {
    ready(l);
    ASSERT_TRUE(jobs.wait_for_jobs(1));
    jobs.report(downloading(5, 10, "1.1.0"));
    l.post_message(R"({"type":"close"})");
    ASSERT_EQ(boxes.seen.size(), 1u);
    EXPECT_EQ(boxes.seen[0].text, stop_updating);
    l.advance(2000ms);
    l.tick();
    EXPECT_FALSE(l.quit_requested()) << "exactly two seconds is not yet more than two";
    l.advance(1ms);
    l.tick();
    EXPECT_TRUE(l.quit_requested());
  });
  EXPECT_EQ(end.exit_code, 1);
  EXPECT_TRUE(end.at_once);
  EXPECT_EQ(boxes.seen.size(), 1u);
  EXPECT_FALSE(platform::exists(data_dir)) << "the data folder goes before the process ends";
  EXPECT_TRUE(jobs.cancel_seen());
  jobs.finish(failed("stopped"));  // lets the worker that was let go end
}

TEST_F(WindowHostTest, ASuccessThatArrivesAfterYesEndsTheRunWithTheInstalledBox) {
  boxes.answers = {BoxAnswer::Yes};
  const auto end = run([&](FakeLayer& l) {
    ready(l);
    ASSERT_TRUE(jobs.wait_for_jobs(1));
    jobs.report(downloading(10, 10));
    l.post_message(R"({"type":"close"})");
    jobs.finish(installed("1.2.0"));
    EXPECT_TRUE(l.tick_until([&] { return l.quit_requested(); }));
  });
  EXPECT_EQ(end.exit_code, 0);
  EXPECT_FALSE(end.at_once);
  ASSERT_EQ(boxes.seen.size(), 2u);
  EXPECT_EQ(boxes.seen[1].caption, "Morvane");
  EXPECT_EQ(boxes.seen[1].text, "Morvane 1.2.0 is installed. Open it from the Start menu or the desktop.");
  EXPECT_EQ(boxes.seen[1].icon, BoxIcon::Information);
  EXPECT_FALSE(layer->ran_script_starting("mv.done")) << "the hidden page shows nothing";
}

TEST_F(WindowHostTest, AnOutcomeShownWhileTheQuestionWasOpenEndsTheRunAsACloseInThatView) {
  const struct {
    setup::InstallResult outcome;
    const char* script;
    int exit_code;
  } cases[] = {
      {installed("1.2.0"), "mv.done", 0},
      {failed("It failed. Run the installer again."), "mv.failed", 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.script);
    boxes.seen.clear();
    boxes.answers = {BoxAnswer::Yes};
    const auto end = run([&](FakeLayer& l) {
      ready(l);
      ASSERT_TRUE(jobs.wait_for_jobs(1));
      // The timer goes on ticking in the box's own loop, and the outcome
      // arrives and is shown while the user thinks.
      boxes.while_open = [&](const platform::BoxSpec&) {
        jobs.finish(c.outcome);
        let_worker_store();
        l.tick();
        EXPECT_TRUE(l.ran_script_starting(c.script));
        EXPECT_FALSE(l.quit_requested());
      };
      l.post_message(R"({"type":"close"})");
      boxes.while_open = nullptr;
      EXPECT_TRUE(l.quit_requested());
      EXPECT_FALSE(l.seen().window_visible);
    });
    EXPECT_EQ(end.exit_code, c.exit_code);
    EXPECT_FALSE(end.at_once);
    EXPECT_EQ(boxes.seen.size(), 1u) << "the page showed the outcome: no final box";
  }
}

}  // namespace
}  // namespace window_test
