// Stands in for Windows' command interpreter removing a folder or a file
// after a pause.
//
// It takes exactly
//   cmd [/d] [/v:off] /c "ping -n <N> 127.0.0.1 >nul & rmdir /s /q "<folder>""
//   cmd [/d] [/v:off] /c "ping -n <N> 127.0.0.1 >nul & del /f /q "<file>""
// (each switch at most once and in either order, the /c and the command text
// as separate arguments). As cmd does with its command line, it first
// replaces each %NAME% of the text whose variable is set with its value, in
// one pass, even between quotes. Then it waits N - 1 seconds, as N echo
// requests one second apart do, and removes the entry, a relative one in its
// working folder: rmdir the folder with everything in it, links removed
// themselves and never followed; del the one file (a link as itself). An
// entry that is not there, or that cannot be removed, gives a message on
// standard error and a non-zero exit code, as rmdir and del do. A del of a
// folder, which cmd would take as every file in it, or of a name with a
// wildcard is refused, and so is anything else.
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <thread>

#include <fmt/format.h>

namespace {

void write_err(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fflush(stderr);
}

int refuse() {
  write_err(
      "cmd: this stand-in takes only [/d] [/v:off] /c \"ping -n <N> 127.0.0.1 >nul & rmdir /s /q \"<folder>\"\" or "
      "the same with del /f /q \"<file>\"\r\n");
  return 1;
}

// The text with each %NAME% whose variable is set replaced by its value; a
// % that starts no such reference stays as written. What a value brings in
// is not read again.
std::string expand_variables(std::string_view text) {
  std::string expanded;
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t open = text.find('%', at);
    if (open == std::string_view::npos) break;
    expanded.append(text.substr(at, open - at));
    const std::size_t close = text.find('%', open + 1);
    const char* value = nullptr;
    if (close != std::string_view::npos && close > open + 1) {
      value = std::getenv(std::string(text.substr(open + 1, close - open - 1)).c_str());
    }
    if (value != nullptr) {
      expanded.append(value);
      at = close + 1;
    } else {
      expanded.push_back('%');
      at = open + 1;
    }
  }
  if (at < text.size()) expanded.append(text.substr(at));
  return expanded;
}

int remove_folder(const std::filesystem::path& folder) {
  std::error_code ec;
  const auto status = std::filesystem::symlink_status(folder, ec);
  if (ec || !std::filesystem::exists(status)) {
    write_err("The system cannot find the file specified.\r\n");
    return 2;
  }
  if (!std::filesystem::is_directory(status)) {
    write_err("The directory name is invalid.\r\n");
    return 1;
  }
  std::filesystem::remove_all(folder, ec);
  if (ec) {
    write_err(fmt::format("{} - {}\r\n", folder.string(), ec.message()));
    return 1;
  }
  return 0;
}

int delete_file(const std::filesystem::path& file) {
  std::error_code ec;
  const auto status = std::filesystem::symlink_status(file, ec);
  if (ec || !std::filesystem::exists(status)) {
    write_err(fmt::format("Could Not Find {}\r\n", std::filesystem::absolute(file).string()));
    return 1;
  }
  if (std::filesystem::is_directory(status)) return refuse();
  if (!std::filesystem::remove(file, ec)) {
    write_err(fmt::format("{} - {}\r\n", file.string(), ec.message()));
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  bool no_autorun = false;
  bool no_delayed = false;
  int arg = 1;
  for (; arg < argc && std::string_view(argv[arg]) != "/c"; ++arg) {
    const std::string_view option = argv[arg];
    if (option == "/d" && !no_autorun) {
      no_autorun = true;
    } else if (option == "/v:off" && !no_delayed) {
      no_delayed = true;
    } else {
      return refuse();
    }
  }
  if (arg != argc - 2) return refuse();
  const std::string command = expand_variables(argv[arg + 1]);
  std::string_view text = command;

  constexpr std::string_view ping = "ping -n ";
  constexpr std::string_view pause = " 127.0.0.1 >nul & ";
  constexpr std::string_view rmdir = "rmdir /s /q \"";
  constexpr std::string_view del = "del /f /q \"";
  if (!text.starts_with(ping)) return refuse();
  text.remove_prefix(ping.size());
  unsigned count = 0;
  const auto [after, error] = std::from_chars(text.data(), text.data() + text.size(), count);
  if (error != std::errc() || after == text.data() || text.front() == '0' || count > 3600) return refuse();
  text.remove_prefix(static_cast<std::size_t>(after - text.data()));
  if (!text.starts_with(pause)) return refuse();
  text.remove_prefix(pause.size());
  const bool file = text.starts_with(del);
  if (!file && !text.starts_with(rmdir)) return refuse();
  text.remove_prefix(file ? del.size() : rmdir.size());
  if (!text.ends_with("\"")) return refuse();
  text.remove_suffix(1);
  if (text.empty()) return refuse();
  if (file && text.find_first_of("*?") != std::string_view::npos) return refuse();
  const std::filesystem::path entry{std::string(text)};

  std::this_thread::sleep_for(std::chrono::seconds(count - 1));
  return file ? delete_file(entry) : remove_folder(entry);
}

