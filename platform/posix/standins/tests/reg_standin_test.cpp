// The `reg` stand-in: the three forms it takes, its answers byte for byte in
// reg.exe's shape, and its refusals.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/fs.hpp"
#include "platform/posix/standins/tests/standin_env.hpp"
#include "platform/registry.hpp"

namespace {

using standin_test::HiveFolder;
using standin_test::run;

const std::string uninstall_key = "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\MORVANE";
const std::string uninstall_shown = "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\MORVANE";
const std::string settings_key = "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
constexpr const char* done = "reg: The operation completed successfully\r\n";
constexpr const char* no_value = "reg: Unable to find the specified registry value\r\n";
constexpr const char* no_key = "reg: Unable to find the specified registry key\r\n";

void add(const std::string& key, const std::string& name, const std::string& type, const std::string& data) {
  const auto r = run("reg", {"add", key, "/v", name, "/t", type, "/d", data, "/f"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, done);
}

standin_test::Run query(const std::string& key, const std::string& name) {
  return run("reg", {"query", key, "/v", name});
}

TEST(RegStandin, AnswersAQueryInRegsShapeByteForByte) {
  HiveFolder hive;
  add(settings_key, "ProxyEnable", "REG_DWORD", "1");
  add(settings_key, "ProxyServer", "REG_SZ", "http=a:1;https=b:2");
  add(uninstall_key, "DisplayVersion", "REG_SZ", "1.2.3");
  add(uninstall_key, "Empty", "REG_SZ", "");
  add(uninstall_key, "NoModify", "REG_DWORD", "1");
  add(uninstall_key, "UninstallString", "REG_SZ", "\"C:\\x y\\uninstall.exe\" --uninstall");
  add(uninstall_key, "Big", "REG_DWORD", "0xFF");

  const struct {
    std::string key, name, out;
  } cases[] = {
      {settings_key, "ProxyEnable",
       "\r\nHKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\r\n"
       "    ProxyEnable    REG_DWORD    0x1\r\n\r\n"},
      {settings_key, "ProxyServer",
       "\r\nHKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\r\n"
       "    ProxyServer    REG_SZ    http=a:1;https=b:2\r\n\r\n"},
      {uninstall_key, "DisplayVersion", "\r\n" + uninstall_shown + "\r\n    DisplayVersion    REG_SZ    1.2.3\r\n\r\n"},
      {uninstall_key, "Empty", "\r\n" + uninstall_shown + "\r\n    Empty    REG_SZ    \r\n\r\n"},
      {uninstall_key, "NoModify", "\r\n" + uninstall_shown + "\r\n    NoModify    REG_DWORD    0x1\r\n\r\n"},
      {uninstall_key, "UninstallString",
       "\r\n" + uninstall_shown + "\r\n    UninstallString    REG_SZ    \"C:\\x y\\uninstall.exe\" --uninstall\r\n\r\n"},
      {uninstall_key, "Big", "\r\n" + uninstall_shown + "\r\n    Big    REG_DWORD    0xff\r\n\r\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto r = query(c.key, c.name);
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, c.out);
    EXPECT_EQ(r.err, "");
  }
}

TEST(RegStandin, MissingValuesAndKeysFailAsRegDoes) {
  HiveFolder hive;
  // An empty hive folder: no key at all.
  auto r = query(uninstall_key, "DisplayVersion");
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, no_key);

  add(uninstall_key, "DisplayVersion", "REG_SZ", "1.2.3");
  r = query(uninstall_key, "Nope");
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.out, "\r\n");
  EXPECT_EQ(r.err, no_value);

  // A key's parents exist once the key does, with no values of their own.
  r = query("HKCU\\Software\\Microsoft", "DisplayVersion");
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.err, no_value);

  r = run("reg", {"delete", uninstall_key, "/f"});
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, done);
  r = query(uninstall_key, "DisplayVersion");
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.err, no_key);

  r = run("reg", {"delete", uninstall_key, "/f"});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.err, no_key);
}

TEST(RegStandin, BothSpellingsOfTheRootAndAnyLetterCaseNameTheSameKeyAndValue) {
  HiveFolder hive;
  add(uninstall_key, "DisplayVersion", "REG_SZ", "1.2.3");
  const auto r = query("HKEY_CURRENT_USER\\software\\microsoft\\windows\\currentversion\\uninstall\\morvane",
                       "displayversion");
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.out,
            "\r\nHKEY_CURRENT_USER\\software\\microsoft\\windows\\currentversion\\uninstall\\morvane\r\n"
            "    DisplayVersion    REG_SZ    1.2.3\r\n\r\n");

  // Adding again replaces the value; the name keeps the case it was made with.
  add("HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\MORVANE", "DISPLAYVERSION",
      "REG_SZ", "2.0.0");
  EXPECT_EQ(query(uninstall_key, "DisplayVersion").out,
            "\r\n" + uninstall_shown + "\r\n    DisplayVersion    REG_SZ    2.0.0\r\n\r\n");
}

TEST(RegStandin, DeletingAKeyTakesEveryKeyBelowItAndNothingBeside) {
  HiveFolder hive;
  add(uninstall_key + "\\Sub", "A", "REG_SZ", "a");
  add(uninstall_key, "B", "REG_SZ", "b");
  add(uninstall_key + "X", "C", "REG_SZ", "c");  // a sibling whose name begins the same
  ASSERT_EQ(run("reg", {"delete", uninstall_key, "/f"}).exit_code, 0);
  EXPECT_EQ(query(uninstall_key + "\\Sub", "A").err, no_key);
  EXPECT_EQ(query(uninstall_key + "X", "C").exit_code, 0);
  EXPECT_EQ(query("HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall", "x").err, no_value);
}

TEST(RegStandin, TextWithLineBreaksTabsAndPercentSignsSurvivesTheHive) {
  HiveFolder hive;
  const std::string data = "a\tb%0Ac\nd\re %25 é";
  add(uninstall_key, "Odd\tName", "REG_SZ", data);
  const auto r = query(uninstall_key, "Odd\tName");
  EXPECT_EQ(r.out, "\r\n" + uninstall_shown + "\r\n    Odd\tName    REG_SZ    " + data + "\r\n\r\n");
}

TEST(RegStandin, RefusesWhatItDoesNotTake) {
  HiveFolder hive;
  const struct {
    std::vector<std::string> args;
    std::string err;
  } cases[] = {
      {{}, "reg: Invalid syntax."},
      {{"query", uninstall_key}, "reg: Invalid syntax."},
      {{"query", uninstall_key, "/ve"}, "reg: Invalid syntax."},
      {{"query", uninstall_key, "/V", "DisplayVersion"}, "reg: Invalid syntax."},
      {{"query", uninstall_key, "/v", "DisplayVersion", "/s"}, "reg: Invalid syntax."},
      {{"add", uninstall_key, "/v", "A", "/t", "REG_SZ", "/d", "a"}, "reg: Invalid syntax."},
      {{"add", uninstall_key, "/v", "A", "/d", "a", "/t", "REG_SZ", "/f"}, "reg: Invalid syntax."},
      {{"delete", uninstall_key}, "reg: Invalid syntax."},
      {{"delete", uninstall_key, "/v", "A", "/f"}, "reg: Invalid syntax."},
      {{"export", uninstall_key, "x.reg"}, "reg: Invalid syntax."},
      {{"query", "HKLM\\Software\\X", "/v", "A"}, "reg: Invalid key name [HKLM\\Software\\X]\r\n"},
      {{"query", "HKCU", "/v", "A"}, "reg: Invalid key name [HKCU]\r\n"},
      {{"query", "HKCU\\Software\\\\X", "/v", "A"}, "reg: Invalid key name [HKCU\\Software\\\\X]\r\n"},
      {{"add", uninstall_key, "/v", "A", "/t", "REG_BOGUS", "/d", "1", "/f"},
       "reg: Unsupported registry data type [REG_BOGUS]\r\n"},
      {{"add", uninstall_key, "/v", "A", "/t", "REG_DWORD", "/d", "one", "/f"},
       "reg: Invalid data for REG_DWORD [one]\r\n"},
      {{"add", uninstall_key, "/v", "A", "/t", "REG_DWORD", "/d", "4294967296", "/f"},
       "reg: Invalid data for REG_DWORD [4294967296]\r\n"},
  };
  for (const auto& c : cases) {
    std::string shown;
    for (const auto& arg : c.args) shown += "[" + arg + "]";
    SCOPED_TRACE(shown);
    const auto r = run("reg", c.args);
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err.substr(0, c.err.size()), c.err);
    EXPECT_TRUE(r.err.ends_with("\r\n"));
  }
  // None of them left anything behind.
  EXPECT_EQ(query(uninstall_key, "A").err, no_key);
}

TEST(RegStandin, FailsWhenTheHiveFolderIsAFile) {
  HiveFolder hive;
  const auto blocked = hive.path() / "blocked";
  ASSERT_TRUE(platform::write_file(blocked, platform::byte_view("not a folder")));
  ::setenv("MORVANE_HIVE_DIR", blocked.c_str(), 1);

  auto r = run("reg", {"add", uninstall_key, "/v", "A", "/t", "REG_SZ", "/d", "a", "/f"});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.err, "reg: the hive folder " + blocked.string() + " cannot be made: Not a directory (os error 20)\r\n");

  r = query(uninstall_key, "A");
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.err, "reg: the hive " + blocked.string() + "/HKCU.hive cannot be read: Not a directory (os error 20)\r\n");

  r = run("reg", {"delete", uninstall_key, "/f"});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.err.find("cannot be made"), std::string::npos) << r.err;
}

TEST(RegStandin, ADamagedHiveFileIsAFailureNotAnEmptyHive) {
  HiveFolder hive;
  ASSERT_TRUE(platform::write_file(hive.path() / "HKCU.hive", platform::byte_view("morvane-hive 1\nX\tjunk\n")));
  const auto r = query(uninstall_key, "A");
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.err, "reg: the hive " + (hive.path() / "HKCU.hive").string() +
                       " is damaged: line 2 of the hive file is no record\r\n");
  // A change does not write over it either.
  EXPECT_EQ(run("reg", {"add", uninstall_key, "/v", "A", "/t", "REG_SZ", "/d", "a", "/f"}).exit_code, 1);
}

TEST(ReadUserDword, ReadsTheHiveThatRegWrites) {
  HiveFolder hive;
  const std::string theme = "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize";
  const std::string below = "Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize";
  EXPECT_EQ(platform::read_user_dword(below, "AppsUseLightTheme"), std::nullopt);  // no hive yet

  add(theme, "AppsUseLightTheme", "REG_DWORD", "0");
  add(theme, "Big", "REG_DWORD", "0xffffffff");
  add(theme, "Text", "REG_SZ", "1");
  EXPECT_EQ(platform::read_user_dword(below, "AppsUseLightTheme"), 0u);
  EXPECT_EQ(platform::read_user_dword(theme, "appsuselighttheme"), 0u);
  EXPECT_EQ(platform::read_user_dword(below, "Big"), 0xffffffffu);
  EXPECT_EQ(platform::read_user_dword(below, "Text"), std::nullopt);
  EXPECT_EQ(platform::read_user_dword(below, "Missing"), std::nullopt);
  EXPECT_EQ(platform::read_user_dword("Software\\Nowhere", "AppsUseLightTheme"), std::nullopt);

  add(theme, "AppsUseLightTheme", "REG_DWORD", "1");
  EXPECT_EQ(platform::read_user_dword(below, "AppsUseLightTheme"), 1u);
}

}  // namespace
