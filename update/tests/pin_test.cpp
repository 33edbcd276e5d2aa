#include "update/check/pin.hpp"

#include <gtest/gtest.h>

#include "platform/fs.hpp"
#include "testkit/file_fault_interpose.hpp"
#include "testkit/temp_dir.hpp"
#include "update/store/updates_dir.hpp"
#include "update/tests/print_update_error.hpp"

namespace update {
namespace {

TEST(DropOvertakenPin, DeletesThePinOnlyForAGreaterVersion) {
  struct Case {
    const char* name;
    const char* pin;  // pinned.json's text
    const char* release;
    bool deleted;
  };
  const Case cases[] = {
      {"a greater patch", R"({"version": "1.2.3", "pinned_at_ms": 1})", "1.2.4", true},
      {"the same version", R"({"version": "1.2.3", "pinned_at_ms": 1})", "1.2.3", false},
      {"a lesser version", R"({"version": "1.2.3", "pinned_at_ms": 1})", "1.2.2", false},
      {"a greater minor, lesser patch", R"({"version": "1.2.3", "pinned_at_ms": 1})", "1.3.0", true},
      {"a greater major", R"({"version": "1.9.9", "pinned_at_ms": 1})", "2.0.0", true},
      {"numbers, not text", R"({"version": "1.9.9", "pinned_at_ms": 1})", "1.10.0", true},
      {"text order would say otherwise", R"({"version": "1.10.0", "pinned_at_ms": 1})", "1.9.9", false},
      {"the pin's build label is no part of it", R"({"version": "1.2.3+pinned", "pinned_at_ms": 1})", "1.2.3",
       false},
      {"a labelled pin overtaken", R"({"version": "1.2.3+pinned", "pinned_at_ms": 1})", "1.2.4", true},
      {"keys in another order, extra keys", R"({"why": ["x"], "pinned_at_ms": 1, "version": "1.2.3"})", "1.2.4",
       true},
      {"array form", R"(["1.2.3", 1])", "1.2.4", true},
      {"a version that does not parse", R"({"version": "1.2", "pinned_at_ms": 1})", "9.9.9", false},
      {"an empty version", R"({"version": "", "pinned_at_ms": 1})", "9.9.9", false},
      {"no pinned_at_ms", R"({"version": "1.2.3"})", "9.9.9", false},
      {"pinned_at_ms as text", R"({"version": "1.2.3", "pinned_at_ms": "1"})", "9.9.9", false},
      {"a repeated key", R"({"version": "1.2.3", "version": "1.2.3", "pinned_at_ms": 1})", "9.9.9", false},
      {"invalid JSON", R"({"version": "1.2.3",)", "9.9.9", false},
      {"a release version that does not parse", R"({"version": "1.2.3", "pinned_at_ms": 1})", "2.0", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testkit::TempDir dir;
    const platform::Path path = pin_path(dir.path());
    ASSERT_TRUE(platform::write_file(path, platform::byte_view(c.pin)));
    const auto dropped = drop_overtaken_pin(dir.path(), c.release);
    ASSERT_TRUE(dropped) << display_update_error(dropped.error());
    if (c.deleted) {
      EXPECT_FALSE(platform::exists(path));
    } else {
      auto left = platform::read_file(path);
      ASSERT_TRUE(left);
      EXPECT_EQ(platform::to_string(*left), c.pin);
    }
  }
}

TEST(DropOvertakenPin, NoPinIsNothingToDo) {
  testkit::TempDir dir;
  EXPECT_TRUE(drop_overtaken_pin(dir / "no-such-updates-folder", "9.9.9"));
  EXPECT_FALSE(platform::exists(dir / "no-such-updates-folder"));
  // A folder where the file would be is no pin either, and stays.
  ASSERT_TRUE(platform::create_dirs(pin_path(dir.path())));
  EXPECT_TRUE(drop_overtaken_pin(dir.path(), "9.9.9"));
  EXPECT_TRUE(platform::exists(pin_path(dir.path())));
}

TEST(DropOvertakenPin, APinThatCannotBeDeletedIsAnIoErrorNamingIt) {
  testkit::TempDir dir;
  const platform::Path path = pin_path(dir.path());
  ASSERT_TRUE(platform::write_file(path, platform::byte_view(R"({"version": "1.2.3", "pinned_at_ms": 1})")));
  testkit::file_faults::Scope scope;
  testkit::file_faults::fail_from(0);
  const auto dropped = drop_overtaken_pin(dir.path(), "1.2.4");
  testkit::file_faults::reset();
  ASSERT_FALSE(dropped);
  const auto* io = dropped.error().get<UpdateError::Io>();
  ASSERT_NE(io, nullptr) << display_update_error(dropped.error());
  EXPECT_EQ(io->at, platform::display(path));
  EXPECT_TRUE(platform::exists(path));
}

TEST(LoadPin, GivesBothFields) {
  testkit::TempDir dir;
  ASSERT_TRUE(platform::write_file(pin_path(dir.path()),
                                   platform::byte_view(R"({"version": "1.2.3", "pinned_at_ms": 1700000000000})")));
  EXPECT_EQ(load_pin(dir.path()), (Pin{"1.2.3", 1700000000000}));
}

}  // namespace
}  // namespace update
