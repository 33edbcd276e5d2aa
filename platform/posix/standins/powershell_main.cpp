// Stands in for Windows PowerShell making a shortcut with WScript.Shell.
//
// It takes exactly
//   powershell -NoProfile -NonInteractive -Command <script>
// where the script is
//   $s = (New-Object -ComObject WScript.Shell).CreateShortcut('<link>');
//   $s.TargetPath = '<target>'; $s.WorkingDirectory = '<folder>'; $s.Save()
// on one line, each path in single quotes with its quotes doubled. The
// shortcut it saves at <link> is a small text file: the target and the
// working folder, one per line. Like the real one it fails with an exception
// on standard error and exit code 1 when the link's name does not end in
// ".lnk" or its folder does not exist; anything else is refused.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>

#include <fmt/format.h>

#include "platform/powershell_quotes.hpp"
#include "platform/text.hpp"

namespace {

void write_err(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fflush(stderr);
}

int refuse(std::string_view why) {
  write_err(fmt::format("powershell: this stand-in takes only -NoProfile -NonInteractive -Command and the shortcut "
                        "script: {}\r\n",
                        why));
  return 1;
}

int exception(std::string_view method, int arguments, std::string_view message) {
  write_err(fmt::format("Exception calling \"{}\" with \"{}\" argument(s): \"{}\"\r\n", method, arguments, message));
  return 1;
}

// Reads the script piece by piece: fixed text, and single-quoted strings
// read as PowerShell reads them.
class Script {
 public:
  explicit Script(std::string_view text) : text_(text) {}

  bool literal(std::string_view expected) {
    if (text_.substr(0, expected.size()) != expected) return false;
    text_.remove_prefix(expected.size());
    return true;
  }

  std::optional<std::string> quoted() { return platform::read_powershell_single_quoted(text_); }

  bool at_end() const { return text_.empty(); }

 private:
  std::string_view text_;
};

bool ends_with_lnk(const std::string& path) {
  if (path.size() < 4) return false;
  return platform::ascii_lower(std::string_view(path).substr(path.size() - 4)) == ".lnk";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5 || std::string_view(argv[1]) != "-NoProfile" || std::string_view(argv[2]) != "-NonInteractive" ||
      std::string_view(argv[3]) != "-Command") {
    return refuse("other arguments");
  }
  Script script(argv[4]);
  std::optional<std::string> link, target, folder;
  const bool parsed = script.literal("$s = (New-Object -ComObject WScript.Shell).CreateShortcut(") &&
                      (link = script.quoted()) && script.literal("); $s.TargetPath = ") &&
                      (target = script.quoted()) && script.literal("; $s.WorkingDirectory = ") &&
                      (folder = script.quoted()) && script.literal("; $s.Save()") && script.at_end();
  if (!parsed) return refuse("another script");

  if (!ends_with_lnk(*link)) {
    return exception("CreateShortcut", 1, "The shortcut pathname must end with .lnk or .url.");
  }
  std::ofstream file(std::filesystem::path(*link), std::ios::binary | std::ios::trunc);
  if (file) file << *target << '\n' << *folder << '\n';
  if (file) file.close();
  if (!file) return exception("Save", 0, fmt::format("Unable to save shortcut \"{}\".", *link));
  return 0;
}
