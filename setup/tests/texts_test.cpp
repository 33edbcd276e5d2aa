#include <string>

#include <gtest/gtest.h>

#include "setup/common/message_boxes.hpp"
#include "setup/common/sentences.hpp"
#include "setup/main/mode_end.hpp"
#include "setup/main/setup_mutex.hpp"
#include "setup/tests/box_recorder.hpp"

namespace setup {
namespace {

using setup_test::BoxRecorder;

TEST(Texts, FixedSentencesAndNamesAreExact) {
  EXPECT_EQ(starting_text(), "Starting the Morvane installer\xE2\x80\xA6");
  EXPECT_EQ(installed_text("1.4.2"), "Morvane 1.4.2 is installed. Open it from the Start menu or the desktop.");
  EXPECT_EQ(installed_text("2.0.0+b7"), "Morvane 2.0.0+b7 is installed. Open it from the Start menu or the desktop.");
  EXPECT_EQ(already_running_text(), "The Morvane installer is already running.");
  EXPECT_EQ(could_not_install_text(), "Morvane could not be installed. Run the installer again.");
  EXPECT_EQ(success_caption(), "Morvane");
  EXPECT_EQ(failure_caption(), "Morvane \xE2\x80\x94 not done");
  EXPECT_EQ(setup_mutex_name(), "Local\\MORVANE.setup");
}

TEST(Texts, MessageBoxPassesCaptionBodyAndIcon) {
  BoxRecorder recorder;
  show_message_box("the caption", "the body", true);
  show_message_box("other", "text", false);
  ASSERT_EQ(recorder.boxes.size(), 2u);
  EXPECT_EQ(recorder.boxes[0].caption, "the caption");
  EXPECT_EQ(recorder.boxes[0].text, "the body");
  EXPECT_EQ(recorder.boxes[0].icon, platform::BoxIcon::Error);
  EXPECT_EQ(recorder.boxes[1].caption, "other");
  EXPECT_EQ(recorder.boxes[1].text, "text");
  EXPECT_EQ(recorder.boxes[1].icon, platform::BoxIcon::Information);
}

TEST(ModeEnd, BoxUnlessQuietThenTheExitCode) {
  struct Case {
    ModeOutcome outcome;
    bool quiet;
    int exit_code;
    bool box;
    const char* caption;
    platform::BoxIcon icon;
  };
  const Case cases[] = {
      {ModeOutcome("it worked"), false, 0, true, "Morvane", platform::BoxIcon::Information},
      {ModeOutcome("it worked"), true, 0, false, "", platform::BoxIcon::Information},
      {ModeOutcome(tl::unexpect, "it failed"), false, 1, true, "Morvane \xE2\x80\x94 not done",
       platform::BoxIcon::Error},
      {ModeOutcome(tl::unexpect, "it failed"), true, 1, false, "", platform::BoxIcon::Error},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << (c.outcome ? "success" : "failure") << (c.quiet ? ", quiet" : ""));
    BoxRecorder recorder;
    EXPECT_EQ(finish_mode(c.outcome, c.quiet), c.exit_code);
    if (!c.box) {
      EXPECT_TRUE(recorder.boxes.empty());
      continue;
    }
    ASSERT_EQ(recorder.boxes.size(), 1u);
    EXPECT_EQ(recorder.boxes[0].caption, c.caption);
    EXPECT_EQ(recorder.boxes[0].text, c.outcome ? *c.outcome : c.outcome.error());
    EXPECT_EQ(recorder.boxes[0].icon, c.icon);
  }
}

}  // namespace
}  // namespace setup
