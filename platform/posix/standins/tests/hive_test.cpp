// The hive file: its text, and changes from several processes at once.
#include <future>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/fs.hpp"
#include "platform/posix/hive.hpp"
#include "platform/posix/standins/tests/standin_env.hpp"

namespace {

namespace hive = platform::hive;
using standin_test::HiveFolder;
using standin_test::run;

TEST(HiveFile, IsTheDocumentedTextWithParentsFirstAndEscapedFields) {
  HiveFolder folder;
  ASSERT_TRUE(hive::update(folder.path(), [](hive::Hive& h) {
    hive::set_value(hive::ensure_key(h, "Software\\A\\B"), {"Name", "REG_SZ", "x\ty%z\nw\r"});
    hive::set_value(hive::ensure_key(h, "software\\a"), {"N", "REG_DWORD", "7"});
    return true;
  }));
  auto text = platform::read_file(folder.path() / "HKCU.hive");
  ASSERT_TRUE(text);
  EXPECT_EQ(platform::to_string(*text),
            "morvane-hive 1\n"
            "K\tSoftware\n"
            "K\tSoftware\\A\n"
            "V\tN\tREG_DWORD\t7\n"
            "K\tSoftware\\A\\B\n"
            "V\tName\tREG_SZ\tx%09y%25z%0Aw%0D\n");
  auto loaded = hive::load(folder.path());
  ASSERT_TRUE(loaded) << loaded.error();
  const hive::Key* key = hive::find_key(*loaded, "SOFTWARE\\a\\b");
  ASSERT_NE(key, nullptr);
  ASSERT_NE(hive::find_value(*key, "name"), nullptr);
  EXPECT_EQ(hive::find_value(*key, "name")->data, "x\ty%z\nw\r");
}

TEST(HiveFile, RefusesTextThatIsNoHive) {
  for (const char* text : {"", "morvane-hive 2\n", "morvane-hive 1\nV\ta\tREG_SZ\tb\n", "morvane-hive 1\nK\ta\tb\n",
                           "morvane-hive 1\nK\ta%2\n"}) {
    SCOPED_TRACE(text);
    EXPECT_FALSE(hive::parse_hive(text));
  }
}

TEST(HiveFile, ChangesFromManyProcessesAtOnceAreAllKept) {
  HiveFolder folder;
  const std::string key = "HKCU\\Software\\Concurrent";
  std::vector<std::future<standin_test::Run>> adds;
  for (int i = 0; i < 16; ++i) {
    adds.push_back(std::async(std::launch::async, [key, i] {
      return run("reg", {"add", key, "/v", "V" + std::to_string(i), "/t", "REG_DWORD", "/d", std::to_string(i), "/f"});
    }));
  }
  for (auto& add : adds) EXPECT_EQ(add.get().exit_code, 0);
  auto loaded = hive::load(folder.path());
  ASSERT_TRUE(loaded);
  const hive::Key* found = hive::find_key(*loaded, "Software\\Concurrent");
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(found->values.size(), 16u);
}

}  // namespace
