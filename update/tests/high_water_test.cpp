#include "update/check/high_water.hpp"

#include <gtest/gtest.h>

#include "platform/fs.hpp"
#include "testkit/file_text.hpp"
#include "testkit/temp_dir.hpp"
#include "update/store/updates_dir.hpp"
#include "update/tests/print_update_error.hpp"

namespace update {
namespace {

void put(const platform::Path& path, std::string_view text) {
  ASSERT_TRUE(platform::create_dirs(path.parent_path()));
  ASSERT_TRUE(platform::write_file(path, platform::byte_view(text)));
}

using testkit::read_text;

TEST(LoadHighWater, ReadsTheRecordLenientlyAndEveryFailureIsZero) {
  struct Case {
    const char* name;
    const char* text;  // nullptr: no file at all
    std::int64_t expected;
  };
  const Case cases[] = {
      {"no file", nullptr, 0},
      {"declared order", R"({"issued_at_ms": 1700000000000, "version": "1.2.3", "recorded_at_ms": 5})",
       1700000000000},
      {"keys in another order", R"({"recorded_at_ms": 5, "version": "1.2.3", "issued_at_ms": 42})", 42},
      {"extra keys of any shape", R"({"note": {"a": [1, {"b": null}]}, "issued_at_ms": 42, "x": "y",
          "version": "1.2.3", "recorded_at_ms": 5, "z": [true]})",
       42},
      {"array form", R"([1700000000005, "9.9.9", 1])", 1700000000005},
      {"negative mark", R"({"issued_at_ms": -7, "version": "1.2.3", "recorded_at_ms": 5})", -7},
      {"white space around", " \n\t{\"issued_at_ms\": 3, \"version\": \"v\", \"recorded_at_ms\": 0}\r\n ", 3},
      {"invalid JSON", "{not json", 0},
      {"empty file", "", 0},
      {"missing recorded_at_ms", R"({"issued_at_ms": 42, "version": "1.2.3"})", 0},
      {"missing version", R"({"issued_at_ms": 42, "recorded_at_ms": 5})", 0},
      {"repeated key", R"({"issued_at_ms": 42, "issued_at_ms": 43, "version": "1", "recorded_at_ms": 5})", 0},
      {"mark as a string", R"({"issued_at_ms": "42", "version": "1.2.3", "recorded_at_ms": 5})", 0},
      {"mark with a fraction", R"({"issued_at_ms": 42.0, "version": "1.2.3", "recorded_at_ms": 5})", 0},
      {"mark beyond 64 bits", R"({"issued_at_ms": 9223372036854775808, "version": "1", "recorded_at_ms": 5})", 0},
      {"short array", R"([42, "1.2.3"])", 0},
      {"long array", R"([42, "1.2.3", 5, 6])", 0},
      {"a second value after it", R"({"issued_at_ms": 42, "version": "1", "recorded_at_ms": 5} {})", 0},
      {"byte-order mark", "\xEF\xBB\xBF{\"issued_at_ms\": 42, \"version\": \"1\", \"recorded_at_ms\": 5}", 0},
      {"a number, not a record", "42", 0},
      {"null", "null", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testkit::TempDir dir;
    const platform::Path updates = dir / "updates";
    if (c.text != nullptr) put(high_water_path(updates), c.text);
    EXPECT_EQ(load_high_water(updates), c.expected);
  }
}

TEST(LoadHighWater, AFolderInItsPlaceIsZero) {
  testkit::TempDir dir;
  ASSERT_TRUE(platform::create_dirs(high_water_path(dir.path()) / "inside"));
  EXPECT_EQ(load_high_water(dir.path()), 0);
}

TEST(HighWaterJson, IsTheRecordPrettyPrintedWithNoFinalLineFeed) {
  EXPECT_EQ(*high_water_json(HighWater{1700000000000, "1.2.3", 1700000000123}),
            "{\n"
            "  \"issued_at_ms\": 1700000000000,\n"
            "  \"version\": \"1.2.3\",\n"
            "  \"recorded_at_ms\": 1700000000123\n"
            "}");
  // The build label of a version may hold anything; it is escaped as JSON.
  EXPECT_EQ(*high_water_json(HighWater{-1, "1.2.3+a\"b\\c\td\x01", 0}),
            "{\n"
            "  \"issued_at_ms\": -1,\n"
            "  \"version\": \"1.2.3+a\\\"b\\\\c\\td\\u0001\",\n"
            "  \"recorded_at_ms\": 0\n"
            "}");
  EXPECT_FALSE(high_water_json(HighWater{1, "1.2.3+\xFF", 0}));
}

TEST(StoreHighWater, WritesTheRecordThatLoadReadsBack) {
  testkit::TempDir dir;
  const platform::Path updates = dir / "install" / "updates";
  ASSERT_TRUE(store_high_water(updates, HighWater{77, "0.1.1", 99}));
  EXPECT_EQ(read_text(high_water_path(updates)),
            "{\n  \"issued_at_ms\": 77,\n  \"version\": \"0.1.1\",\n  \"recorded_at_ms\": 99\n}");
  EXPECT_EQ(load_high_water(updates), 77);
  // The folder is made as the updater makes it, README.txt and all; no part
  // file is left behind.
  EXPECT_EQ(read_text(updates / "README.txt"), updates_readme_text());
  EXPECT_FALSE(platform::exists(updates / "highwater.part"));

  ASSERT_TRUE(store_high_water(updates, HighWater{78, "0.1.2", 100}));
  EXPECT_EQ(load_high_water(updates), 78);
}

TEST(StoreHighWater, AFolderThatCannotBeReplacedIsAnIoErrorNamingIt) {
  testkit::TempDir dir;
  const platform::Path updates = dir / "updates";
  put(high_water_path(updates) / "occupied", "x");
  const auto stored = store_high_water(updates, HighWater{77, "0.1.1", 99});
  ASSERT_FALSE(stored);
  const auto* io = stored.error().get<UpdateError::Io>();
  ASSERT_NE(io, nullptr) << display_update_error(stored.error());
  EXPECT_EQ(io->at, platform::display(high_water_path(updates)));
}

TEST(StoreHighWater, AVersionThatIsNotTextIsRefusedAndNothingIsWritten) {
  testkit::TempDir dir;
  const auto stored = store_high_water(dir.path(), HighWater{77, "0.1.1+\xFF", 99});
  ASSERT_FALSE(stored);
  EXPECT_TRUE(stored.error().is<UpdateError::Io>());
  EXPECT_FALSE(platform::exists(high_water_path(dir.path())));
}

}  // namespace
}  // namespace update
