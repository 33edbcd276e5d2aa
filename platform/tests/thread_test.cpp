#include <gtest/gtest.h>

#include <future>

#include "platform/message_box.hpp"
#include "platform/thread.hpp"

namespace {

TEST(DetachedThread, RunsWithItsNameCutToWhatTheSystemAllows) {
  std::promise<std::string> name;
  auto got = name.get_future();
  ASSERT_TRUE(platform::spawn_detached_thread("mv-address attempt", 2 * 1024 * 1024,
                                              [&] { name.set_value(platform::current_thread_name()); }));
  EXPECT_EQ(got.get(), std::string("mv-address attempt").substr(0, platform::thread_name_limit()));
}

TEST(MessageBoxes, TheStandInLineShowsCaptionIconAndText) {
  EXPECT_EQ(platform::message_box_line({"Morvane \xE2\x80\x94 not done", "line one\nline two", platform::BoxIcon::Error}),
            "[Morvane \xE2\x80\x94 not done] (error) line one\\nline two");
  EXPECT_EQ(platform::message_box_line({"Morvane", "done", platform::BoxIcon::Information}),
            "[Morvane] (information) done");
}

TEST(MessageBoxes, AHandlerSeesEveryBox) {
  std::vector<platform::BoxSpec> seen;
  auto previous = platform::set_message_box_handler([&](const platform::BoxSpec& box) { seen.push_back(box); });
  platform::show_message_box({"Morvane", "hello", platform::BoxIcon::Information});
  platform::set_message_box_handler(previous);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].text, "hello");
}

}  // namespace
