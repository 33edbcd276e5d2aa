// What makes the installation a program the user can start and remove: the
// uninstaller copy, the two shortcuts and the uninstall registry entry, made
// through the real `powershell` and `reg` stand-ins.
#include <sys/stat.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/fs.hpp"
#include "platform/process.hpp"
#include "setup/install/shortcuts.hpp"
#include "setup/install/uninstall_entry.hpp"
#include "setup/install/uninstaller_copy.hpp"
#include "setup/tests/failure_text.hpp"
#include "setup/tests/scoped_env.hpp"
#include "testkit/file_text.hpp"
#include "testkit/temp_dir.hpp"

namespace {

using setup_test::failure_text;
using setup_test::ScopedEnv;

using testkit::read_text;

// Forwards to the real command and remembers each call.
struct RecordingRun {
  std::vector<std::pair<std::string, std::vector<std::string>>> calls;
  platform::HiddenRunner forward() {
    return [this](const std::string& program, const std::vector<std::string>& args) {
      calls.emplace_back(program, args);
      return platform::run_hidden(program, args);
    };
  }
};

// A profile of the test's own: APPDATA, USERPROFILE with its Start menu and
// desktop folders, the hive, and an install folder below a folder named
// it's.
class PostInstall : public ::testing::Test {
 protected:
  testkit::TempDir root;
  platform::Path app_data = root / "appdata";
  platform::Path profile = root / "profile";
  platform::Path programs = app_data / "Microsoft" / "Windows" / "Start Menu" / "Programs";
  platform::Path desktop = profile / "Desktop";
  platform::Path install = root / "it's" / "MORVANE";
  platform::Path exe = install / "morvane.exe";
  ScopedEnv app_data_env{"APPDATA", app_data.string()};
  ScopedEnv profile_env{"USERPROFILE", profile.string()};
  ScopedEnv hive_env{"MORVANE_HIVE_DIR", (root / "hive").string()};

  void SetUp() override {
    for (const auto& dir : {programs, desktop, install}) ASSERT_TRUE(platform::create_dirs(dir));
  }
};

TEST_F(PostInstall, MakesBothShortcutsWithTheApostropheDoubledInTheScript) {
  RecordingRun run;
  ASSERT_EQ(failure_text(setup::make_shortcuts_with(run.forward(), exe)), "");

  const std::string quoted_install = (root / "it''s" / "MORVANE").string();
  ASSERT_EQ(run.calls.size(), 2u);
  const platform::Path links[] = {programs / "Morvane.lnk", desktop / "Morvane.lnk"};
  for (std::size_t i = 0; i < 2; ++i) {
    EXPECT_EQ(run.calls[i].first, "powershell");
    EXPECT_EQ(run.calls[i].second,
              (std::vector<std::string>{
                  "-NoProfile", "-NonInteractive", "-Command",
                  "$s = (New-Object -ComObject WScript.Shell).CreateShortcut('" + links[i].string() +
                      "'); $s.TargetPath = '" + quoted_install + "/morvane.exe'; $s.WorkingDirectory = '" +
                      quoted_install + "'; $s.Save()"}));
    EXPECT_EQ(read_text(links[i]), exe.string() + "\n" + install.string() + "\n");
  }
}

TEST_F(PostInstall, AFailingFirstShortcutEndsTheStepBeforeTheDesktop) {
  ASSERT_TRUE(platform::remove_dir_all(programs));
  RecordingRun run;
  const auto made = setup::make_shortcuts_with(run.forward(), exe);
  ASSERT_FALSE(made);
  EXPECT_EQ(made.error(), "A shortcut could not be made: Exception calling \"Save\" with \"0\" argument(s): "
                          "\"Unable to save shortcut \"" +
                              (programs / "Morvane.lnk").string() + "\".\"");
  EXPECT_EQ(run.calls.size(), 1u);
  EXPECT_FALSE(platform::exists(desktop / "Morvane.lnk"));
  EXPECT_FALSE(platform::exists(programs));  // the folders are not made
}

TEST_F(PostInstall, APowershellThatCannotStartIsTheStartError) {
  const auto broken = [](const std::string&, const std::vector<std::string>&)
      -> tl::expected<platform::ProcessOutput, platform::IoError> {
    return tl::unexpected(platform::IoError::from_os(2));
  };
  const auto made = setup::make_shortcuts_with(broken, exe);
  ASSERT_FALSE(made);
  EXPECT_EQ(made.error(), "A shortcut could not be made: No such file or directory (os error 2)");
}

TEST_F(PostInstall, APowershellThatEndsWellWithoutTheShortcutHasMadeNothing) {
  const auto does_nothing = [](const std::string&, const std::vector<std::string>&)
      -> tl::expected<platform::ProcessOutput, platform::IoError> { return platform::ProcessOutput{}; };
  const auto made = setup::make_shortcuts_with(does_nothing, exe);
  ASSERT_FALSE(made);
  EXPECT_EQ(made.error(),
            "A shortcut could not be made: powershell made no " + platform::display(programs / "Morvane.lnk"));
}

TEST_F(PostInstall, AnExecutableWithoutAFolderWorksInItself) {
  // The shortcuts are there already: the recorder makes none.
  for (const auto& link : {programs / "Morvane.lnk", desktop / "Morvane.lnk"}) {
    ASSERT_TRUE(platform::write_file(link, platform::byte_view("")));
  }
  std::vector<std::string> scripts;
  const auto record = [&](const std::string&, const std::vector<std::string>& args)
      -> tl::expected<platform::ProcessOutput, platform::IoError> {
    scripts.push_back(args.back());
    return platform::ProcessOutput{};
  };
  ASSERT_TRUE(setup::make_shortcuts_with(record, platform::Path("morvane.exe")));
  ASSERT_EQ(scripts.size(), 2u);
  EXPECT_TRUE(scripts[0].ends_with("$s.TargetPath = 'morvane.exe'; $s.WorkingDirectory = 'morvane.exe'; $s.Save()"))
      << scripts[0];
}

TEST(ShortcutPaths, ComeFromAppDataAndUserProfileAsTheyAre) {
  const struct {
    std::optional<std::string> app_data, profile;
    tl::expected<std::vector<platform::Path>, std::string> paths;
  } cases[] = {
      {"/a", "/p",
       std::vector<platform::Path>{"/a/Microsoft/Windows/Start Menu/Programs/Morvane.lnk", "/p/Desktop/Morvane.lnk"}},
      {"", "/p", std::vector<platform::Path>{"Microsoft/Windows/Start Menu/Programs/Morvane.lnk", "/p/Desktop/Morvane.lnk"}},
      {std::nullopt, "/p", tl::unexpected(std::string("This computer gives no APPDATA folder."))},
      {std::nullopt, std::nullopt, tl::unexpected(std::string("This computer gives no APPDATA folder."))},
      {"/a", std::nullopt, tl::unexpected(std::string("This computer gives no USERPROFILE folder."))},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.app_data.value_or("(unset)") + " " + c.profile.value_or("(unset)"));
    ScopedEnv app_data("APPDATA", c.app_data);
    ScopedEnv profile("USERPROFILE", c.profile);
    EXPECT_EQ(setup::shortcut_paths(), c.paths);
  }
}

TEST(ShortcutPaths, MissingVariablesEndMakeShortcutsBeforeAnyCommand) {
  ScopedEnv app_data("APPDATA", std::nullopt);
  int calls = 0;
  const auto count = [&](const std::string&, const std::vector<std::string>&)
      -> tl::expected<platform::ProcessOutput, platform::IoError> {
    ++calls;
    return platform::ProcessOutput{};
  };
  EXPECT_EQ(failure_text(setup::make_shortcuts_with(count, "/x/morvane.exe")),
            "This computer gives no APPDATA folder.");
  EXPECT_EQ(calls, 0);
}

TEST(QuoteForPowershell, DoublesEveryApostropheAndTypographicSingleQuoteAndNothingElse) {
  const struct {
    platform::Path path;
    std::string quoted;
  } cases[] = {
      {"/home/it's/o'neil''s/a\"b c", "/home/it''s/o''neil''''s/a\"b c"},
      {"", ""},
      {platform::path_from_utf8("/home/O’Brien/‘a’‚b‛"), "/home/O’’Brien/‘‘a’’‚‚b‛‛"},
      {platform::path_from_utf8("/home/Zoë Ångström-Ōta 李"), "/home/Zoë Ångström-Ōta 李"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.quoted);
    EXPECT_EQ(setup::quote_for_powershell(c.path), c.quoted);
  }
}

std::string query(const std::string& name) {
  auto r = platform::run_hidden("reg", {"query", setup::uninstall_key_path(), "/v", name});
  if (!r) return "(not run)";
  return platform::to_string(r->stdout_bytes);
}

TEST_F(PostInstall, WritesTheSevenValuesOfTheUninstallEntryInOrder) {
  RecordingRun run;
  ASSERT_EQ(failure_text(setup::write_uninstall_entry_with(run.forward(), install, exe, "1.2.3+build")), "");
  const std::string key = "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\MORVANE";
  EXPECT_EQ(setup::uninstall_key_path(), key);
  const std::vector<std::vector<std::string>> expected = {
      {"add", key, "/v", "DisplayName", "/t", "REG_SZ", "/d", "Morvane", "/f"},
      {"add", key, "/v", "DisplayVersion", "/t", "REG_SZ", "/d", "1.2.3+build", "/f"},
      {"add", key, "/v", "Publisher", "/t", "REG_SZ", "/d", "Morvane", "/f"},
      {"add", key, "/v", "InstallLocation", "/t", "REG_SZ", "/d", install.string(), "/f"},
      {"add", key, "/v", "DisplayIcon", "/t", "REG_SZ", "/d", exe.string(), "/f"},
      {"add", key, "/v", "UninstallString", "/t", "REG_SZ", "/d", "\"" + (install / "uninstall.exe").string() + "\" --uninstall", "/f"},
      {"add", key, "/v", "NoModify", "/t", "REG_DWORD", "/d", "1", "/f"},
  };
  ASSERT_EQ(run.calls.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(run.calls[i].first, "reg");
    EXPECT_EQ(run.calls[i].second, expected[i]);
  }
  const std::string shown = "\r\nHKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\MORVANE\r\n";
  EXPECT_EQ(query("UninstallString"),
            shown + "    UninstallString    REG_SZ    \"" + (install / "uninstall.exe").string() + "\" --uninstall\r\n\r\n");
  EXPECT_EQ(query("NoModify"), shown + "    NoModify    REG_DWORD    0x1\r\n\r\n");
  EXPECT_EQ(query("DisplayVersion"), shown + "    DisplayVersion    REG_SZ    1.2.3+build\r\n\r\n");
}

TEST_F(PostInstall, ARegFailureOnTheThirdValueKeepsTheFirstTwoAndSaysWhatRegSaid) {
  // The third `reg add` finds a file where the hive's folder should be.
  const platform::Path blocked = root / "blocked";
  ASSERT_TRUE(platform::write_file(blocked, platform::byte_view("x")));
  int calls = 0;
  const auto third_fails = [&](const std::string& program, const std::vector<std::string>& args) {
    ++calls;
    if (calls != 3) return platform::run_hidden(program, args);
    ScopedEnv moved("MORVANE_HIVE_DIR", blocked.string());
    return platform::run_hidden(program, args);
  };
  const auto written = setup::write_uninstall_entry_with(third_fails, install, exe, "1.2.3");
  ASSERT_FALSE(written);
  EXPECT_EQ(written.error(), "The uninstall entry could not be written: reg: the hive folder " + blocked.string() +
                                 " cannot be made: Not a directory (os error 20)");
  EXPECT_EQ(calls, 3);
  EXPECT_NE(query("DisplayName").find("DisplayName    REG_SZ    Morvane"), std::string::npos);
  EXPECT_NE(query("DisplayVersion").find("DisplayVersion    REG_SZ    1.2.3"), std::string::npos);
  EXPECT_EQ(query("Publisher"), "\r\n");  // the key is there, the value is not
}

TEST_F(PostInstall, ARegThatCannotStartIsTheStartError) {
  const auto broken = [](const std::string&, const std::vector<std::string>&)
      -> tl::expected<platform::ProcessOutput, platform::IoError> {
    return tl::unexpected(platform::IoError::from_os(13));
  };
  const auto written = setup::write_uninstall_entry_with(broken, install, exe, "1.2.3");
  ASSERT_FALSE(written);
  EXPECT_EQ(written.error(), "The uninstall entry could not be written: Permission denied (os error 13)");
}

TEST_F(PostInstall, CopiesTheRunningProgramAsTheUninstaller) {
  const platform::Path target = install / "uninstall.exe";
  ASSERT_TRUE(platform::write_file(target, platform::byte_view("an older uninstaller")));
  ASSERT_EQ(failure_text(setup::copy_uninstaller(install)), "");
  const auto running = platform::current_exe();
  ASSERT_TRUE(running);
  const auto copy = platform::read_file(target);
  const auto original = platform::read_file(*running);
  ASSERT_TRUE(copy && original);
  EXPECT_TRUE(*copy == *original);
  EXPECT_FALSE(platform::exists(install / "uninstall.part"));
}

TEST_F(PostInstall, TheInstalledUninstallerDoesNotCopyItselfOntoItself) {
  const platform::Path target = install / "uninstall.exe";
  ASSERT_TRUE(platform::write_file(target, platform::byte_view("the installed uninstaller")));
  // The install folder reached through a linked folder, as a LOCALAPPDATA
  // that is a link gives it.
  const platform::Path linked = root / "linked";
  std::filesystem::create_directory_symlink(install, linked);
  struct stat before {};
  ASSERT_EQ(::stat(target.c_str(), &before), 0);
  for (const platform::Path& running : {target, platform::Path(install.string() + "//uninstall.exe"),
                                        linked / "uninstall.exe"}) {
    SCOPED_TRACE(running.string());
    ASSERT_EQ(failure_text(setup::copy_uninstaller_from(running, install)), "");
    ASSERT_EQ(failure_text(setup::copy_uninstaller_from(target, linked)), "");
  }
  struct stat after {};
  ASSERT_EQ(::stat(target.c_str(), &after), 0);
  EXPECT_EQ(after.st_ino, before.st_ino) << "the uninstaller was replaced";
  EXPECT_EQ(read_text(target), "the installed uninstaller");
  EXPECT_FALSE(platform::exists(install / "uninstall.part"));
}

TEST_F(PostInstall, AnUninstallerThatCannotBeWrittenSaysWhyAndLeavesNoPartBehind) {
  const auto copied = setup::copy_uninstaller(root / "no such folder");
  ASSERT_FALSE(copied);
  EXPECT_EQ(copied.error(), "The uninstaller could not be written: No such file or directory (os error 2)");

  // A folder where the uninstaller goes: the whole copy cannot be moved
  // there, and is not left beside it.
  ASSERT_TRUE(platform::create_dirs(install / "uninstall.exe" / "kept"));
  const auto moved = setup::copy_uninstaller(install);
  ASSERT_FALSE(moved);
  EXPECT_EQ(moved.error(), "The uninstaller could not be written: Is a directory (os error 21)");
  EXPECT_TRUE(platform::exists(install / "uninstall.exe" / "kept"));
  EXPECT_FALSE(platform::exists(install / "uninstall.part"));
}

}  // namespace
