// What the Windows layer decides that POSIX decides otherwise: UTF-8 paths
// at every call, paths compared without regard to case, renames onto open
// files, the environment and the registry. (Named mutexes are the same on
// every system: ../named_mutex_test.cpp.)
#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>

#include "platform/env.hpp"
#include "platform/fs.hpp"
#include "platform/process.hpp"
#include "platform/registry.hpp"
#include "testkit/os_codes.hpp"
#include "testkit/temp_dir.hpp"

namespace {

using platform::byte_view;
using platform::path_from_utf8;

std::string unique(const std::string& stem) {
  return stem + "-" + std::to_string(platform::process_id()) + "-" +
         std::to_string(std::chrono::steady_clock::now().time_since_epoch().count());
}

TEST(WindowsPaths, TextIsUtf8AtEveryCall) {
  testkit::TempDir dir;
  const std::string name = "r\xC3\xA9sum\xC3\xA9 \xE2\x82\xAC.txt";
  const auto file = dir.path() / path_from_utf8(name);
  ASSERT_TRUE(platform::write_file(file, byte_view("x")));
  EXPECT_TRUE(::GetFileAttributesW((dir.path().native() + L"\\r\u00e9sum\u00e9 \u20ac.txt").c_str()) !=
              INVALID_FILE_ATTRIBUTES);
  EXPECT_TRUE(platform::display(file).ends_with(name));
  EXPECT_EQ(platform::list_dir(dir.path()).value().names, std::vector<std::string>{name});
}

TEST(WindowsPaths, CompareWithoutRegardToCaseSeparatorsOrTheLongPathPrefix) {
  const auto a = platform::comparable_path(L"C:\\Users\\Ann\\AppData\\Local\\Programs\\MORVANE");
  EXPECT_EQ(a, platform::comparable_path(L"c:\\users\\ann\\appdata\\local\\programs\\morvane"));
  EXPECT_EQ(a, platform::comparable_path(L"\\\\?\\C:\\Users\\Ann\\AppData\\Local\\Programs\\MORVANE"));
  EXPECT_EQ(a, platform::comparable_path(L"C:/Users/Ann/AppData/Local/Programs/Morvane"));
  EXPECT_NE(a, platform::comparable_path(L"C:\\Users\\Anna\\AppData\\Local\\Programs\\MORVANE"));
  EXPECT_EQ(platform::comparable_path(L"\\\\?\\UNC\\server\\share\\x"), platform::comparable_path(L"\\\\SERVER\\share\\X"));
  EXPECT_EQ(platform::comparable_path(path_from_utf8("C:\\\xC3\xA9t\xC3\xA9")),
            platform::comparable_path(path_from_utf8("c:\\\xC3\x89T\xC3\x89")));
}

TEST(WindowsFiles, SameFileSeesThroughCaseAndPrefix) {
  testkit::TempDir dir;
  const auto file = dir / "Uninstall.exe";
  ASSERT_TRUE(platform::write_file(file, byte_view("x")));
  ASSERT_TRUE(platform::write_file(dir / "other.exe", byte_view("x")));
  EXPECT_TRUE(platform::same_file(file, dir / "UNINSTALL.EXE"));
  EXPECT_TRUE(platform::same_file(file, platform::Path(L"\\\\?\\" + file.native())));
  EXPECT_FALSE(platform::same_file(file, dir / "other.exe"));
  EXPECT_FALSE(platform::same_file(file, dir / "missing.exe"));
}

TEST(WindowsFiles, ARenameOntoAFileHeldOpenFailsWhereAPosixRenameWouldNot) {
  testkit::TempDir dir;
  ASSERT_TRUE(platform::write_file(dir / "new", byte_view("new")));
  ASSERT_TRUE(platform::write_file(dir / "held", byte_view("old")));
  auto held = platform::File::open_read(dir / "held").value();
  auto moved = platform::rename_replace(dir / "new", dir / "held");
  ASSERT_FALSE(moved);
  EXPECT_EQ(moved.error().text(), platform::os_error_text(testkit::os_codes::access_denied));
  held.close();
  EXPECT_TRUE(platform::rename_replace(dir / "new", dir / "held"));
  EXPECT_EQ(platform::read_file(dir / "held").value(), platform::to_bytes("new"));
}

TEST(WindowsFiles, AFileHeldOpenByUsCanStillBeRenamedAway) {
  // Every open shares deleting, which a rename of the open file itself needs.
  testkit::TempDir dir;
  ASSERT_TRUE(platform::write_file(dir / "a", byte_view("a")));
  auto open = platform::File::open_read(dir / "a").value();
  EXPECT_TRUE(platform::rename_replace(dir / "a", dir / "b"));
}

TEST(WindowsFiles, RemovingAFolderAsAFileFails) {
  testkit::TempDir dir;
  ASSERT_TRUE(platform::create_dirs(dir / "d"));
  auto removed = platform::remove_file(dir / "d");
  ASSERT_FALSE(removed);
  EXPECT_EQ(removed.error().kind(), platform::ErrorKind::PermissionDenied);
}

TEST(WindowsEnvironment, IsReadAsUtf8AndAnEmptyValueCountsAsSet) {
  const std::wstring name = L"MORVANE_TEST_VARIABLE";
  ::SetEnvironmentVariableW(name.c_str(), L"C:\\Users\\J\u00f6rg");
  EXPECT_EQ(platform::env_var("MORVANE_TEST_VARIABLE"), "C:\\Users\\J\xC3\xB6rg");
  ::SetEnvironmentVariableW(name.c_str(), L"");
  EXPECT_EQ(platform::env_var("MORVANE_TEST_VARIABLE"), "");
  ::SetEnvironmentVariableW(name.c_str(), nullptr);
  EXPECT_EQ(platform::env_var("MORVANE_TEST_VARIABLE"), std::nullopt);
  const std::wstring long_value(3000, L'v');
  ::SetEnvironmentVariableW(name.c_str(), long_value.c_str());
  EXPECT_EQ(platform::env_var("MORVANE_TEST_VARIABLE"), std::string(3000, 'v'));
  ::SetEnvironmentVariableW(name.c_str(), nullptr);
}

TEST(WindowsRegistry, ReadsADwordOfTheUsersHive) {
  const std::string key = "Software\\" + unique("MorvaneTest");
  auto added = platform::run_hidden("reg", {"add", "HKCU\\" + key, "/v", "Value", "/t", "REG_DWORD", "/d", "7", "/f"});
  ASSERT_TRUE(added && added->exit_code == 0);
  (void)platform::run_hidden("reg", {"add", "HKCU\\" + key, "/v", "Text", "/t", "REG_SZ", "/d", "7", "/f"});
  EXPECT_EQ(platform::read_user_dword(key, "Value"), 7u);
  EXPECT_EQ(platform::read_user_dword("HKCU\\" + key, "Value"), 7u);
  EXPECT_EQ(platform::read_user_dword("hkey_current_user\\" + key, "Value"), 7u);
  EXPECT_EQ(platform::read_user_dword(key, "Text"), std::nullopt);
  EXPECT_EQ(platform::read_user_dword(key, "Missing"), std::nullopt);
  (void)platform::run_hidden("reg", {"delete", "HKCU\\" + key, "/f"});
  EXPECT_EQ(platform::read_user_dword(key, "Value"), std::nullopt);
}

}  // namespace
