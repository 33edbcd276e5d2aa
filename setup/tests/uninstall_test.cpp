// The pieces of the uninstall: the version it reads from the uninstall
// entry, how it empties the install folder, the delayed removal and when it
// starts.
#include <chrono>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/fs.hpp"
#include "platform/message_box.hpp"
#include "platform/process.hpp"
#include "setup/install/uninstall_entry.hpp"
#include "setup/main/uninstall_mode.hpp"
#include "setup/tests/failure_text.hpp"
#include "setup/tests/scoped_env.hpp"
#include "setup/tests/setup_process.hpp"
#include "setup/tests/user_profile.hpp"
#include "setup/uninstall/display_version.hpp"
#include "setup/uninstall/uninstall.hpp"
#include "testkit/temp_dir.hpp"

namespace {

using setup_test::ScopedEnv;
using setup_test::sorted_entries;

TEST(DisplayVersion, IsTheDataOfTheFirstDisplayVersionLine) {
  const std::string key = "\r\nHKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\MORVANE\r\n";
  const struct {
    std::string output;
    std::optional<std::string> version;
  } cases[] = {
      {key + "    DisplayVersion    REG_SZ    1.2.3\r\n\r\n", "1.2.3"},
      {"DisplayVersion\tREG_SZ\t1.2.3+build 7", "1.2.3+build 7"},  // a last line without a line end
      {key + "    DisplayVersion    REG_SZ    \r\n\r\n", std::nullopt},
      {key + "    DisplayVersion    REG_SZ\r\n\r\n", std::nullopt},
      {key + "    DisplayVersion    REG_SZ    REG_SZ    1.2.3\r\n\r\n", "1.2.3"},
      {key + "    DisplayVersion    REG_SZREG_SZ1.2.3\r\n\r\n", "1.2.3"},
      {key + "    DisplayVersion    REG_SZ    REG_SZ\r\n\r\n", std::nullopt},
      {key + "    DisplayVersion    REG_SZ    \r\n    DisplayVersion    REG_SZ    9.9.9\r\n", std::nullopt},
      {key + "    DisplayName    REG_SZ    Morvane\r\n    DisplayVersion    REG_SZ    2.0.0\r\n", "2.0.0"},
      {key + "    DisplayVersion    REG_SZ    1.\xff\r\n", "1.\xEF\xBF\xBD"},
      {"\r\n", std::nullopt},
      {"", std::nullopt},
      {key + "    displayversion    REG_SZ    1.2.3\r\n", std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.output);
    EXPECT_EQ(setup::display_version_in(c.output), c.version);
  }
}

TEST(DisplayVersion, IsReadWithRegQueryOfTheUninstallEntry) {
  testkit::TempDir hive;
  ScopedEnv hive_env("MORVANE_HIVE_DIR", hive.path().string());
  EXPECT_EQ(setup::read_display_version(), std::nullopt);  // no entry

  const auto add = [](const std::string& name, const std::string& data) {
    auto r = platform::run_hidden("reg", {"add", setup::uninstall_key_path(), "/v", name, "/t", "REG_SZ", "/d", data, "/f"});
    ASSERT_TRUE(r && r->exit_code == 0);
  };
  add("DisplayName", "Morvane");
  EXPECT_EQ(setup::read_display_version(), std::nullopt);  // the entry without the value
  add("DisplayVersion", "");
  EXPECT_EQ(setup::read_display_version(), std::nullopt);
  add("DisplayVersion", "1.2.3");
  EXPECT_EQ(setup::read_display_version(), "1.2.3");

  const auto broken = [](const std::string&, const std::vector<std::string>&)
      -> tl::expected<platform::ProcessOutput, platform::IoError> {
    return tl::unexpected(platform::IoError::from_os(2));
  };
  EXPECT_EQ(setup::read_display_version_with(broken), std::nullopt);
}

// An installed folder with every kind of entry, and a folder of the user's
// outside it that links inside point at.
class EmptyInstallFolder : public ::testing::Test {
 protected:
  testkit::TempDir root;
  platform::Path install = root / "MORVANE";
  platform::Path outside = root / "Documents";

  void SetUp() override {
    ASSERT_TRUE(platform::create_dirs(install / "updates" / "history" / "1.2.3"));
    ASSERT_TRUE(platform::create_dirs(outside / "charts"));
    for (const auto& file : {install / "morvane.exe", install / "libmorvane.dll", install / "uninstall.exe",
                             install / "Uninstall.exe", install / "UNINSTALL.EXE", install / "updates" / "setup.log",
                             install / "updates" / "history" / "1.2.3" / "release.json", outside / "notes.txt",
                             outside / "charts" / "a.chart"}) {
      ASSERT_TRUE(platform::write_file(file, platform::byte_view("bytes")));
    }
    std::filesystem::create_directory_symlink(outside, install / "linked folder");
    std::filesystem::create_symlink(outside / "notes.txt", install / "linked file");
    std::filesystem::create_symlink(root / "nothing", install / "dangling");
    std::filesystem::create_directory_symlink(outside, install / "updates" / "deep link");
  }

  void expect_outside_untouched() {
    EXPECT_EQ(sorted_entries(outside), (std::vector<std::string>{"charts", "notes.txt"}));
    EXPECT_EQ(sorted_entries(outside / "charts"), (std::vector<std::string>{"a.chart"}));
  }
};

TEST_F(EmptyInstallFolder, RemovesEverythingButUninstallExeAndNeverFollowsALink) {
  EXPECT_EQ(setup_test::failure_text(setup::empty_install_folder(install)), "");
  EXPECT_EQ(sorted_entries(install), (std::vector<std::string>{"uninstall.exe"}));
  expect_outside_untouched();
}

TEST_F(EmptyInstallFolder, AFolderThatIsNotThereIsNothingToDo) {
  EXPECT_TRUE(setup::empty_install_folder(root / "none"));
  // A file where the folder should be cannot be listed either.
  EXPECT_TRUE(setup::empty_install_folder(outside / "notes.txt"));
  EXPECT_TRUE(platform::exists(outside / "notes.txt"));
}

TEST_F(EmptyInstallFolder, TheFirstEntryThatCannotBeRemovedEndsIt) {
  std::vector<platform::Path> tried;
  const auto second_fails = [&](const platform::Path& entry) -> platform::IoResult<void> {
    tried.push_back(entry);
    if (tried.size() == 2) return tl::unexpected(platform::IoError::from_os(16));
    return setup::remove_install_entry(entry);
  };
  const auto emptied = setup::empty_install_folder_with(second_fails, install);
  ASSERT_EQ(tried.size(), 2u);
  ASSERT_FALSE(emptied);
  EXPECT_EQ(emptied.error(), tried[1].string() +
                                 " could not be removed (Device or resource busy (os error 16)). If Morvane is open, "
                                 "close it and uninstall again.");
  EXPECT_FALSE(platform::exists(tried[0]) || std::filesystem::is_symlink(tried[0]));
  for (const auto& entry : tried) EXPECT_NE(entry.filename(), "uninstall.exe");
}

TEST_F(EmptyInstallFolder, AFileTheSystemWillNotLetGoOfIsNamedWithTheSystemsText) {
  const platform::Path held = install / "updates" / "setup.log";
  setup_test::ImmutableFile immutable(held);
  if (!immutable.failure().empty()) GTEST_SKIP() << immutable.failure();
  const auto emptied = setup::empty_install_folder(install);
  ASSERT_FALSE(emptied);
  // The folder holding it is the entry that could not be removed.
  EXPECT_EQ(emptied.error(), (install / "updates").string() +
                                 " could not be removed (Operation not permitted (os error 1)). If Morvane is open, "
                                 "close it and uninstall again.");
  EXPECT_TRUE(platform::exists(held));
  expect_outside_untouched();
}

TEST(DelayedRemoval, RunsInTheEntrysParentAndNamesTheEntryAlone) {
  // The path never reaches cmd's text, where a %TEMP% in it would be
  // expanded.
  const platform::Path parent = "/home/p%TEMP%q!x!/.local/Programs";
  const auto folder = setup::delayed_removal(parent / "MORVANE", 3);
  ASSERT_TRUE(folder);
  EXPECT_EQ(folder->working_dir, parent);
  EXPECT_EQ(folder->args, (std::vector<std::string>{"/d", "/v:off", "/c",
                                                    "ping -n 3 127.0.0.1 >nul & rmdir /s /q \"MORVANE\""}));
  const auto file = setup::delayed_file_removal(parent / "morvane-uninstall-4242.exe", 3);
  ASSERT_TRUE(file);
  EXPECT_EQ(file->working_dir, parent);
  EXPECT_EQ(file->args, (std::vector<std::string>{"/d", "/v:off", "/c",
                                                  "ping -n 3 127.0.0.1 >nul & del /f /q \"morvane-uninstall-4242.exe\""}));
  EXPECT_FALSE(setup::delayed_file_removal(parent / "a*.exe", 3));
  EXPECT_FALSE(setup::delayed_file_removal(parent / "a?.exe", 3));
}

TEST(DelayedRemoval, TakesOnlyAPlainNameInAParent) {
  const struct {
    const char* folder;
    bool taken;
  } cases[] = {
      {"/t/morvane-setup-4242", true}, {"/t/a.b_c-D9", true},  {"/t/p%TEMP%q", false}, {"/t/a!b", false},
      {"/t/a b", false},               {"/t/a&b", false},      {"/t/a^b", false},      {"/t/a\"b", false},
      {"/t/caf\xC3\xA9", false},        {"/t/..", false},       {"/t/.", false},        {"/t/", false},
      {"MORVANE", false},              {"/", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.folder);
    EXPECT_EQ(setup::delayed_removal(c.folder, 2).has_value(), c.taken);
    EXPECT_EQ(setup::delayed_file_removal(c.folder, 2).has_value(), c.taken);
  }
}

// Ending the install folder against a recorded system: what it calls, in
// order, and what it leaves for the delayed removal.
TEST(EndInstallFolder, MovesTheUninstallerOutRemovesTheEmptyFolderAndLeavesOnlyTheMovedFile) {
  const platform::Path install = "/l/Programs/MORVANE";
  const std::string uninstaller = "/l/Programs/MORVANE/uninstall.exe";
  const std::string moved = "/l/Programs/morvane-uninstall-4242.exe";
  const auto denied = [] { return platform::IoResult<void>(tl::unexpected(platform::IoError::from_os(13))); };
  const struct {
    const char* name;
    bool has_uninstaller;
    bool moves;
    bool folder_goes;
    bool moved_goes;
    std::vector<std::string> calls;
    bool delayed;
  } cases[] = {
      {"the running uninstaller", true, true, true, false,
       {"rename " + uninstaller + " " + moved, "rmdir /l/Programs/MORVANE", "del " + moved}, true},
      {"an uninstaller that is not running", true, true, true, true,
       {"rename " + uninstaller + " " + moved, "rmdir /l/Programs/MORVANE", "del " + moved}, false},
      {"something new in the folder", true, true, false, false,
       {"rename " + uninstaller + " " + moved, "rmdir /l/Programs/MORVANE", "del " + moved}, true},
      {"an uninstaller that cannot move", true, false, true, true, {"rename " + uninstaller + " " + moved}, false},
      {"no uninstaller", false, true, true, true, {"rmdir /l/Programs/MORVANE"}, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> calls;
    const setup::FolderEnd end{
        .exists = [&](const platform::Path& path) { return path == uninstaller && c.has_uninstaller; },
        .rename =
            [&](const platform::Path& from, const platform::Path& to) {
              calls.push_back("rename " + from.string() + " " + to.string());
              return c.moves ? platform::IoResult<void>{} : denied();
            },
        .remove_file =
            [&](const platform::Path& path) {
              calls.push_back("del " + path.string());
              return c.moved_goes ? platform::IoResult<void>{} : denied();
            },
        .remove_empty_dir =
            [&](const platform::Path& path) {
              calls.push_back("rmdir " + path.string());
              return c.folder_goes ? platform::IoResult<void>{} : denied();
            },
    };
    const auto left = setup::end_install_folder_with(end, install, 4242);
    EXPECT_EQ(calls, c.calls);
    ASSERT_EQ(left.has_value(), c.delayed);
    if (left) {
      EXPECT_EQ(left->working_dir, "/l/Programs");
      EXPECT_EQ(left->args, (std::vector<std::string>{"/d", "/v:off", "/c",
                                                      "ping -n 3 127.0.0.1 >nul & del /f /q \"morvane-uninstall-4242.exe\""}));
    }
  }
}

TEST(EndInstallFolder, OnTheSystemTheFolderGoesButNeverWhatCameIntoItMeanwhile) {
  testkit::TempDir root;
  const platform::Path programs = root / "Programs";
  const platform::Path install = programs / "MORVANE";
  ASSERT_TRUE(platform::create_dirs(programs / "Other"));

  ASSERT_TRUE(platform::create_dirs(install));
  ASSERT_TRUE(platform::write_file(install / "uninstall.exe", platform::byte_view("bytes")));
  EXPECT_FALSE(setup::end_install_folder_with(setup::system_folder_end(), install, 7));
  EXPECT_EQ(sorted_entries(programs), std::vector<std::string>{"Other"});

  // A new installation's file that came in after the folder was emptied.
  ASSERT_TRUE(platform::create_dirs(install));
  ASSERT_TRUE(platform::write_file(install / "uninstall.exe", platform::byte_view("bytes")));
  ASSERT_TRUE(platform::write_file(install / "morvane.exe", platform::byte_view("new")));
  EXPECT_FALSE(setup::end_install_folder_with(setup::system_folder_end(), install, 7));
  EXPECT_EQ(sorted_entries(programs), (std::vector<std::string>{"MORVANE", "Other"}));
  EXPECT_EQ(sorted_entries(install), std::vector<std::string>{"morvane.exe"});
}

// An uninstall run in this process, in a throwaway profile, with the real
// stand-ins of `reg` and `cmd`.
class UninstallRun : public ::testing::Test {
 protected:
  setup_test::UserProfile user;
  ScopedEnv local{"LOCALAPPDATA", user.local.string()};
  ScopedEnv app_data{"APPDATA", user.app_data.string()};
  ScopedEnv profile{"USERPROFILE", user.profile.string()};
  ScopedEnv hive{"MORVANE_HIVE_DIR", user.hive.string()};
  ScopedEnv uncounted{"MORVANE_SETUP_UNCOUNTED", "1"};

  void SetUp() override {
    ASSERT_TRUE(platform::create_dirs(user.install));
    for (const auto& file : {user.install / "uninstall.exe", user.install / "morvane.exe"}) {
      ASSERT_TRUE(platform::write_file(file, platform::byte_view("bytes")));
    }
  }
};

TEST_F(UninstallRun, TheFolderIsGoneBeforeTheFinalBoxAndNothingIsLeftInItsParent) {
  std::vector<std::string> boxes;
  bool there_at_the_box = true;
  auto previous = platform::set_message_box_handler([&](const platform::BoxSpec& box) {
    boxes.push_back(box.text);
    there_at_the_box = platform::exists(user.install);
  });
  const int exit_code = setup::run_uninstall(false);
  platform::set_message_box_handler(std::move(previous));

  EXPECT_EQ(exit_code, 0);
  EXPECT_EQ(boxes, std::vector<std::string>{setup::uninstalled_text()});
  EXPECT_FALSE(there_at_the_box);
  // This process's own file is not the uninstaller: its moved copy went at
  // once.
  EXPECT_TRUE(sorted_entries(user.local / "Programs").empty());
}

TEST(UninstallSentences, AreTheProductsOwn) {
  EXPECT_EQ(setup::uninstalled_text(),
            "Morvane is removed. Your data is kept in %LOCALAPPDATA%\\MORVANE and is there if it is installed again.");
  EXPECT_EQ(setup::removal_failed_text("/x/morvane.exe", platform::IoError::from_os(13)),
            "/x/morvane.exe could not be removed (Permission denied (os error 13)). If Morvane is open, close it and "
            "uninstall again.");
}

}  // namespace
