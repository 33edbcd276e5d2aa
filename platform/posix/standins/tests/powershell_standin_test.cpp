// The `powershell` stand-in: the shortcut script it takes, the shortcut file
// it saves, the failures of the real one, and its refusals.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/fs.hpp"
#include "platform/powershell_quotes.hpp"
#include "platform/posix/standins/tests/standin_env.hpp"
#include "testkit/file_text.hpp"

namespace {

using standin_test::run;

std::string quote(const std::string& text) { return "'" + platform::powershell_single_quoted_body(text) + "'"; }

std::string script(const std::string& link, const std::string& target, const std::string& folder) {
  return "$s = (New-Object -ComObject WScript.Shell).CreateShortcut(" + quote(link) + "); $s.TargetPath = " +
         quote(target) + "; $s.WorkingDirectory = " + quote(folder) + "; $s.Save()";
}

standin_test::Run powershell(const std::string& text) {
  return run("powershell", {"-NoProfile", "-NonInteractive", "-Command", text});
}

using testkit::read_text;

TEST(PowershellStandin, SavesTheShortcutAsTargetAndFolderLines) {
  testkit::TempDir dir;
  const auto folder = dir / "it's O’Brien’s ‘here’";
  ASSERT_TRUE(platform::create_dirs(folder));
  const std::string link = (folder / "Morvane.lnk").string();
  const std::string target = (folder / "it''s" / "morvane.exe").string();

  auto r = powershell(script(link, target, (folder / "it''s").string()));
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(read_text(link), target + "\n" + (folder / "it''s").string() + "\n");

  // Saving again replaces the shortcut.
  r = powershell(script(link, "/other/morvane.exe", "/other"));
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(read_text(link), "/other/morvane.exe\n/other\n");
}

TEST(PowershellStandin, FailsLikeTheRealOneWhenTheShortcutCannotBeSaved) {
  testkit::TempDir dir;
  const std::string missing = (dir / "no such folder" / "Morvane.lnk").string();
  auto r = powershell(script(missing, "/x/morvane.exe", "/x"));
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "Exception calling \"Save\" with \"0\" argument(s): \"Unable to save shortcut \"" + missing +
                       "\".\"\r\n");
  EXPECT_FALSE(platform::exists(dir / "no such folder"));

  r = powershell(script((dir / "Morvane.txt").string(), "/x/morvane.exe", "/x"));
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.err,
            "Exception calling \"CreateShortcut\" with \"1\" argument(s): \"The shortcut pathname must end with .lnk "
            "or .url.\"\r\n");
  EXPECT_FALSE(platform::exists(dir / "Morvane.txt"));
}

TEST(PowershellStandin, RefusesOtherArgumentsAndOtherScripts) {
  testkit::TempDir dir;
  const std::string link = (dir / "Morvane.lnk").string();
  const std::string good = script(link, "/x/morvane.exe", "/x");
  const struct {
    std::vector<std::string> args;
  } cases[] = {
      {{"-NoProfile", "-NonInteractive", "-Command"}},
      {{"-NonInteractive", "-NoProfile", "-Command", good}},
      {{"-NoProfile", "-Command", good}},
      {{"-NoProfile", "-NonInteractive", "-Command", good, "extra"}},
      {{"-NoProfile", "-NonInteractive", "-File", good}},
      {{"-NoProfile", "-NonInteractive", "-Command", good + "; Remove-Item C:\\"}},
      {{"-NoProfile", "-NonInteractive", "-Command", "Remove-Item C:\\; " + good}},
      {{"-NoProfile", "-NonInteractive", "-Command",
        "$s = (New-Object -ComObject WScript.Shell).CreateShortcut('" + link + "); $s.Save()"}},
      // An apostrophe or a typographic single quote that is not doubled ends
      // the string early.
      {{"-NoProfile", "-NonInteractive", "-Command",
        "$s = (New-Object -ComObject WScript.Shell).CreateShortcut('" + link +
            "'); $s.TargetPath = '/x/it's'; $s.WorkingDirectory = '/x'; $s.Save()"}},
      {{"-NoProfile", "-NonInteractive", "-Command",
        "$s = (New-Object -ComObject WScript.Shell).CreateShortcut('" + link +
            "'); $s.TargetPath = '/x/O’Brien'; $s.WorkingDirectory = '/x'; $s.Save()"}},
      {{"-NoProfile", "-NonInteractive", "-Command",
        "$s = (New-Object -ComObject WScript.Shell).CreateShortcut(\"" + link +
            "\"); $s.TargetPath = '/x'; $s.WorkingDirectory = '/x'; $s.Save()"}},
  };
  for (const auto& c : cases) {
    std::string shown;
    for (const auto& arg : c.args) shown += "[" + arg + "]";
    SCOPED_TRACE(shown);
    const auto r = run("powershell", c.args);
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_TRUE(r.err.starts_with("powershell: this stand-in takes only")) << r.err;
  }
  EXPECT_FALSE(platform::exists(link));
}

}  // namespace
