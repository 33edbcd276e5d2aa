// What the Windows layer's processes do that POSIX's do not: a run ends with
// its program though a process it left holds the output, `cmd` is given its
// text as written, never started in a network folder nor looking for a
// program in its working folder, the system's commands are taken from the
// system folder, and the temporary folder has no separator at its end. The
// cases of every system are in ../process_test.cpp.
#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <map>
#include <string>
#include <vector>

#include "platform/env.hpp"
#include "platform/fs.hpp"
#include "platform/process.hpp"
#include "platform/tests/child_process.hpp"
#include "platform/win/current_folder.hpp"
#include "platform/win/wide.hpp"
#include "testkit/host_tools.hpp"
#include "testkit/scoped_env.hpp"
#include "testkit/temp_dir.hpp"

namespace {

using platform::to_string;

using platform_test::eventually;
using platform_test::test_child;

TEST(RunHidden, ARunEndsWithItsProgramThoughAProcessItLeftHoldsTheOutput) {
  // As Wine's COM servers, started on demand by a shortcut maker, do.
  const auto started = std::chrono::steady_clock::now();
  auto out = platform::run_hidden(test_child(), {"linger"});
  ASSERT_TRUE(out) << out.error().text();
  EXPECT_EQ(out->exit_code, 0);
  EXPECT_EQ(to_string(out->stdout_bytes), "parent");
  // Well before the copy it left lets the output go, a minute later.
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(30));
}

TEST(Cmd, TheTextAfterSlashCReachesCmdAsWritten) {
  auto out = platform::run_hidden("cmd", {"/c", "echo one \"two three\"& echo four"});
  ASSERT_TRUE(out) << out.error().text();
  EXPECT_EQ(out->exit_code, 0);
  EXPECT_EQ(to_string(out->stdout_bytes), "one \"two three\"\r\nfour\r\n");
}

TEST(Cmd, TheDelayedRemovalTakesAFolderWithABlankInItsName) {
  testkit::TempDir dir;
  const auto folder = dir / "gone one";
  ASSERT_TRUE(platform::create_dirs(folder / "inside"));
  ASSERT_TRUE(platform::write_file(folder / "inside" / "f.txt", platform::byte_view("x")));
  ASSERT_TRUE(platform::spawn_hidden(
      "cmd", {"/c", "ping -n 1 127.0.0.1 >nul & rmdir /s /q \"" + platform::display(folder) + "\""}));
  EXPECT_TRUE(eventually([&] { return !platform::exists(folder); }));
}

TEST(SystemCommands, StartFromTheSystemFolderWhateverLiesBesideUs) {
  // A reg.exe in the working folder and first on PATH is never the one run.
  testkit::TempDir dir;
  ASSERT_TRUE(platform::copy_file_replace(testkit::build_path(MORVANE_TEST_CHILD), dir / "reg.exe"));
  wchar_t previous[MAX_PATH] = {};
  ::GetCurrentDirectoryW(MAX_PATH, previous);
  ASSERT_TRUE(::SetCurrentDirectoryW(dir.path().c_str()));
  const std::string path = platform::env_var("PATH").value_or("");
  ::SetEnvironmentVariableW(L"PATH", (dir.path().native() + L";" + std::wstring(path.begin(), path.end())).c_str());
  auto out = platform::run_hidden("reg", {"query", "HKCU\\Software\\Morvane-no-such-key"});
  ::SetEnvironmentVariableW(L"PATH", std::wstring(path.begin(), path.end()).c_str());
  ::SetCurrentDirectoryW(previous);
  ASSERT_TRUE(out) << out.error().text();
  // The child would have exited with 2 and written nothing; reg fails its own way.
  EXPECT_EQ(out->exit_code, 1);
  EXPECT_FALSE(out->stderr_bytes.empty() && out->stdout_bytes.empty());
}

TEST(SpawnHiddenIn, RunsCmdInTheGivenFolderWithNoProgramLookedUpThere) {
  // A folder whose path cmd would misread in its text.
  testkit::TempDir dir;
  const auto folder = dir / "p%TEMP%q!x! & ^y";
  ASSERT_TRUE(platform::create_dirs(folder));
  ASSERT_TRUE(platform::spawn_hidden_in(
      folder, "cmd", {"/d", "/v:off", "/c", "cd >where.part & set >>where.part & "
                                             "move where.part where.txt >nul"}));
  const auto marker = folder / "where.txt";
  ASSERT_TRUE(eventually([&] { return platform::exists(marker); }));
  const std::string text = to_string(platform::read_file(marker).value());
  const std::size_t line_end = text.find("\r\n");
  ASSERT_NE(line_end, std::string::npos) << text;
  EXPECT_EQ(platform::comparable_path(platform::path_from_utf8(text.substr(0, line_end))),
            platform::comparable_path(folder));
  // What makes Windows' cmd look for a bare name along PATH alone, among its
  // environment's variables. (Wine's cmd 8 still looks in the working folder
  // first.)
  EXPECT_NE(text.find("\r\nNoDefaultCurrentDirectoryInExePath=1\r\n"), std::string::npos) << text;
}

TEST(SpawnHiddenIn, NeverStartsCmdInANetworkFolder) {
  // cmd would run in the Windows folder instead.
  const platform::Path share(L"\\\\server\\share\\Programs");
  EXPECT_FALSE(platform::spawn_hidden_in(share, "cmd", {"/d", "/c", "ping -n 1 127.0.0.1"}));
}

// The folder a child starts in, decided before it starts: a current folder
// holds at most MAX_PATH characters with its closing separator, whatever
// the program's awareness of long paths, and cmd takes no network folder.
// (Wine has no such limit, so what its system would do is not what is
// shown here; the short form is the table's own.)
TEST(CurrentFolderForChild, IsThePlainFormOfADriveOrItsShortFormOrRefused) {
  using platform::win::current_folder_for_child;
  const std::wstring fits(platform::win::kLongestCurrentFolder - 3, L'a');
  const std::wstring too_long = fits + L"bcd";
  // The table's short form: each long folder below has a short one.
  const std::map<std::wstring, std::wstring> short_forms = {
      {L"C:\\" + fits + L"x", L"C:\\AAAAAA~1"},
      {L"C:\\Users\\" + too_long, L"C:\\Users\\AAAAAA~1"},
      {L"D:\\" + too_long + L"\\" + too_long, L"D:\\" + too_long + L"\\" + too_long},  // short names off
  };
  const platform::win::ShortForm short_form = [&](const std::wstring& folder) {
    const auto found = short_forms.find(folder);
    return found == short_forms.end() ? std::wstring() : found->second;
  };
  struct Case {
    std::wstring folder;
    bool network_allowed;
    // The folder given to the system, or the error.
    std::wstring given;
    DWORD error;
  };
  const std::vector<Case> cases = {
      {L"C:\\Users\\u\\AppData\\Local\\Programs", false, L"C:\\Users\\u\\AppData\\Local\\Programs", 0},
      {L"C:/Users/u/AppData/Local/Programs/", false, L"C:\\Users\\u\\AppData\\Local\\Programs", 0},
      {L"\\\\?\\C:\\Users\\u\\Programs", false, L"C:\\Users\\u\\Programs", 0},
      {L"\\\\?\\C:\\", false, L"C:\\", 0},
      {L"C:\\", false, L"C:\\", 0},
      {L"\\\\server\\share\\Programs", false, L"", ERROR_NOT_SUPPORTED},
      {L"//server/share/Programs", false, L"", ERROR_NOT_SUPPORTED},
      {L"\\/server/share", false, L"", ERROR_NOT_SUPPORTED},
      {L"\\\\?\\UNC\\server\\share\\Programs", false, L"", ERROR_NOT_SUPPORTED},
      {L"\\\\?\\Volume{01234567-89ab-cdef-0123-456789abcdef}\\Programs", true, L"", ERROR_NOT_SUPPORTED},
      {L"//server/share/Programs", true, L"\\\\server\\share\\Programs", 0},
      {L"\\\\?\\UNC\\server\\share", true, L"\\\\server\\share", 0},
      // At the limit, and one past it, in the plain and the extended form.
      {L"C:\\" + fits, false, L"C:\\" + fits, 0},
      {L"C:\\" + fits + L"\\", false, L"C:\\" + fits, 0},
      {L"C:\\" + fits + L"x", false, L"C:\\AAAAAA~1", 0},
      {L"\\\\?\\C:\\Users\\" + too_long, false, L"C:\\Users\\AAAAAA~1", 0},
      // A volume without short names, and a folder the system gives none for.
      {L"D:\\" + too_long + L"\\" + too_long, false, L"", ERROR_FILENAME_EXCED_RANGE},
      {L"E:\\" + too_long, false, L"", ERROR_FILENAME_EXCED_RANGE},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(platform::win::narrow(c.folder));
    const auto given = current_folder_for_child(c.folder, c.network_allowed, short_form);
    if (c.error == 0) {
      ASSERT_TRUE(given) << given.error();
      EXPECT_EQ(platform::win::narrow(*given), platform::win::narrow(c.given));
    } else {
      ASSERT_FALSE(given) << platform::win::narrow(*given);
      EXPECT_EQ(given.error(), c.error);
    }
  }
}

// The long form of a local folder is a folder cmd runs in, and the short
// form that the system gives names that folder in the plain form.
TEST(SpawnHiddenIn, RunsCmdInTheLongFormOfALocalFolder) {
  testkit::TempDir dir;
  const auto folder = dir / "long form";
  ASSERT_TRUE(platform::create_dirs(folder));
  const platform::Path extended(L"\\\\?\\" + folder.native());
  ASSERT_TRUE(platform::spawn_hidden_in(extended, "cmd", {"/d", "/c", "cd >where.part & move where.part where.txt >nul"}));
  const auto marker = folder / "where.txt";
  ASSERT_TRUE(eventually([&] { return platform::exists(marker); }));
  const std::string text = to_string(platform::read_file(marker).value());
  EXPECT_EQ(platform::comparable_path(platform::path_from_utf8(text.substr(0, text.find("\r\n")))),
            platform::comparable_path(folder));
  const platform::Path shortened(platform::win::system_short_form(folder.native()));
  EXPECT_FALSE(shortened.native().starts_with(L"\\\\")) << platform::display(shortened);
  EXPECT_TRUE(platform::same_file(shortened, folder)) << platform::display(shortened);
}

TEST(TempDir, IsTheUsersTemporaryFolderWithoutATrailingSeparator) {
  const auto temp = platform::temp_dir();
  EXPECT_FALSE(platform::display(temp).ends_with("\\"));
  EXPECT_TRUE(platform::metadata(temp).value().is_dir);
}

// A TEMP longer than MAX_PATH is the user's folder still, never the one
// that every user of the machine shares.
TEST(TempDir, IsTheWholeFolderOfALongTemp) {
  testkit::TempDir dir;
  platform::Path folder = dir.path();
  for (int i = 0; folder.native().size() < 320; ++i) folder /= "a-long-temporary-folder-" + std::to_string(i);
  ASSERT_TRUE(platform::create_dirs(folder));
  const testkit::ScopedEnv tmp("TMP", platform::display(folder));
  const testkit::ScopedEnv temp("TEMP", platform::display(folder));
  EXPECT_EQ(platform::display(platform::temp_dir()), platform::display(folder));
}

}  // namespace
