// The long form in which the Windows layer hands paths to the system: a
// table of conversions, checked against the system's own normalisation of
// the plain path, and the layer's file calls on paths that the long form
// takes only once they are normalised, and on a tree deeper than MAX_PATH.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/fs.hpp"
#include "platform/win/long_path.hpp"
#include "testkit/temp_dir.hpp"

namespace {

using platform::byte_view;
using platform::to_bytes;
using platform::win::long_path;

// What the system makes of a plain path (GetFullPathNameW), in the long form.
std::wstring system_normal(const std::wstring& path) {
  std::wstring full(4096, L'\0');
  const DWORD length = ::GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
  full.resize(length);
  return L"\\\\?\\" + full;
}

TEST(LongPath, AbsolutePathsTakeTheLongFormAfterTheSystemsNormalisation) {
  struct Case {
    const char* name;
    std::wstring path;
    std::wstring expected;
    // Whether GetFullPathNameW can check it: a plain path past MAX_PATH is
    // one it refuses on Windows.
    bool within_max_path = true;
  };
  const std::wstring deep(300, L'd');
  const std::vector<Case> cases = {
      {"a plain folder", L"C:\\Users\\Ann\\AppData\\Local", L"\\\\?\\C:\\Users\\Ann\\AppData\\Local"},
      {"a lower-case drive", L"c:\\x", L"\\\\?\\c:\\x"},
      {"the drive's root", L"C:\\", L"\\\\?\\C:\\"},
      {"forward slashes", L"C:/Users/Ann/x", L"\\\\?\\C:\\Users\\Ann\\x"},
      {"mixed and repeated separators", L"C:\\a\\\\b//\\c", L"\\\\?\\C:\\a\\b\\c"},
      {"a point", L"C:\\a\\.\\b\\.", L"\\\\?\\C:\\a\\b"},
      {"two points", L"C:\\a\\b\\..\\c", L"\\\\?\\C:\\a\\c"},
      {"two points at the root", L"C:\\..\\..\\a", L"\\\\?\\C:\\a"},
      {"trailing points and blanks", L"C:\\a.\\b..\\c. .", L"\\\\?\\C:\\a\\b.\\c"},
      {"a trailing separator", L"C:\\a\\b\\", L"\\\\?\\C:\\a\\b\\"},
      {"a blank before a separator", L"C:\\a\\b \\c", L"\\\\?\\C:\\a\\b \\c"},
      {"names that are not ASCII", L"C:\\Users\\Zo\u00eb \u00c5ngstr\u00f6m-\u014cta \u674e\\x",
       L"\\\\?\\C:\\Users\\Zo\u00eb \u00c5ngstr\u00f6m-\u014cta \u674e\\x"},
      {"longer than MAX_PATH", L"C:\\" + deep + L"\\" + deep, L"\\\\?\\C:\\" + deep + L"\\" + deep, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(long_path(platform::Path(c.path)), c.expected);
    // The long form names what the plain path names.
    if (c.within_max_path) {
      EXPECT_EQ(long_path(platform::Path(c.path)), system_normal(c.path));
    }
  }
}

TEST(LongPath, ASharesPathTakesTheUncFormAndOtherPathsStayAsTheyAre) {
  struct Case {
    const char* name;
    std::wstring path;
    std::wstring expected;
  };
  const std::vector<Case> cases = {
      {"a share", L"\\\\server\\share\\a\\b", L"\\\\?\\UNC\\server\\share\\a\\b"},
      {"a share's root", L"\\\\server\\share", L"\\\\?\\UNC\\server\\share"},
      {"a share with forward slashes and points", L"//server/share/a/./b/../c", L"\\\\?\\UNC\\server\\share\\a\\c"},
      {"two points never leave the share", L"\\\\server\\share\\..\\..\\x", L"\\\\?\\UNC\\server\\share\\x"},
      {"a server without a share", L"\\\\server", L"\\\\server"},
      {"the long form already", L"\\\\?\\C:\\a/b", L"\\\\?\\C:\\a/b"},
      {"the long form of a share already", L"\\\\?\\UNC\\server\\share", L"\\\\?\\UNC\\server\\share"},
      {"a device", L"\\\\.\\pipe\\x", L"\\\\.\\pipe\\x"},
      {"a relative path", L"a\\..\\b", L"a\\..\\b"},
      {"a drive without a separator", L"C:a\\b", L"C:a\\b"},
      {"a path from the current drive's root", L"\\a\\b", L"\\a\\b"},
      {"nothing", L"", L""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(long_path(platform::Path(c.path)), c.expected);
  }
}

// The system takes a long-form path as written, and refuses "/", "." and
// ".." in it: through the layer such a path reaches the file it names.
TEST(LongPath, TheLayerReachesWhatAPathWithSlashesPointsAndTrailingPointsNames) {
  testkit::TempDir dir;
  const std::wstring root = dir.path().native();
  ASSERT_TRUE(platform::create_dirs(platform::Path(root + L"/sub/./inner")));
  EXPECT_TRUE(platform::metadata(dir / "sub" / "inner").value().is_dir);
  const platform::Path odd(root + L"/sub/./x/../file.txt.");
  ASSERT_TRUE(platform::write_file(odd, byte_view("x")));
  EXPECT_EQ(platform::read_file(dir / "sub" / "file.txt").value(), to_bytes("x"));
  EXPECT_TRUE(platform::is_regular_file(odd));
  EXPECT_TRUE(platform::same_file(odd, dir / "sub" / "file.txt"));
  auto listed = platform::list_dir(platform::Path(root + L"/sub/.")).value().names;
  std::sort(listed.begin(), listed.end());
  EXPECT_EQ(listed, (std::vector<std::string>{"file.txt", "inner"}));
  ASSERT_TRUE(platform::rename_replace(odd, platform::Path(root + L"/sub/../moved.txt")));
  EXPECT_EQ(platform::read_file(dir / "moved.txt").value(), to_bytes("x"));
  ASSERT_TRUE(platform::copy_file_replace(platform::Path(root + L"//moved.txt"), platform::Path(root + L"/sub/copy")));
  ASSERT_TRUE(platform::remove_file(platform::Path(root + L"/./moved.txt")));
  EXPECT_FALSE(platform::exists(dir / "moved.txt"));
  ASSERT_TRUE(platform::remove_dir_all(platform::Path(root + L"/sub/.")));
  EXPECT_FALSE(platform::exists(dir / "sub"));
}

// Every file call of the layer on a tree deeper than MAX_PATH. Wine has no
// MAX_PATH limit, so there this passes with plain paths too; on Windows it
// is the long form that lets it pass.
TEST(LongPath, ATreeDeeperThanMaxPathIsMadeWrittenMovedListedAndRemoved) {
  testkit::TempDir dir;
  platform::Path deep = dir.path();
  for (int i = 0; i < 12; ++i) deep /= L"a-folder-name-of-thirty-chars-" + std::to_wstring(i);
  ASSERT_GT(deep.native().size(), 400u);
  ASSERT_TRUE(platform::create_dirs(deep));
  ASSERT_TRUE(platform::write_file(deep / "a", byte_view("long")));
  ASSERT_TRUE(platform::rename_replace(deep / "a", deep / "b"));
  ASSERT_TRUE(platform::copy_file_replace(deep / "b", deep / "c"));
  {
    auto appended = platform::File::open_append(deep / "c");
    ASSERT_TRUE(appended);
    ASSERT_TRUE(appended->write_all(byte_view("er")));
    ASSERT_TRUE(appended->sync());
  }
  EXPECT_EQ(platform::read_file(deep / "c").value(), to_bytes("longer"));
  EXPECT_EQ(platform::metadata(deep / "b").value().size, 4u);
  EXPECT_TRUE(platform::same_file(deep / "b", deep / "B"));
  auto listed = platform::list_dir(deep).value().names;
  std::sort(listed.begin(), listed.end());
  EXPECT_EQ(listed, (std::vector<std::string>{"b", "c"}));
  ASSERT_TRUE(platform::remove_file(deep / "b"));
  ASSERT_TRUE(platform::remove_dir_all(dir / "a-folder-name-of-thirty-chars-0"));
  EXPECT_FALSE(platform::exists(dir / "a-folder-name-of-thirty-chars-0"));
}

}  // namespace
