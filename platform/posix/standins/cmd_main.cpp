// Stands in for Windows' command interpreter removing a folder after a pause.
//
// It takes exactly
//   cmd /c "ping -n <N> 127.0.0.1 >nul & rmdir /s /q "<folder>""
// (the /c and the command text as two arguments): it waits N - 1 seconds, as
// N echo requests one second apart do, then removes the folder with
// everything in it, links removed themselves and never followed. A folder
// that is not there, or that cannot be removed, gives a message on standard
// error and a non-zero exit code, as rmdir does; anything else is refused.
#include <charconv>
#include <chrono>
#include <cstdio>
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
      "cmd: this stand-in takes only /c \"ping -n <N> 127.0.0.1 >nul & rmdir /s /q \"<folder>\"\"\r\n");
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 || std::string_view(argv[1]) != "/c") return refuse();
  std::string_view text = argv[2];

  constexpr std::string_view ping = "ping -n ";
  constexpr std::string_view rest = " 127.0.0.1 >nul & rmdir /s /q \"";
  if (!text.starts_with(ping)) return refuse();
  text.remove_prefix(ping.size());
  unsigned count = 0;
  const auto [after, error] = std::from_chars(text.data(), text.data() + text.size(), count);
  if (error != std::errc() || after == text.data() || text.front() == '0' || count > 3600) return refuse();
  text.remove_prefix(static_cast<std::size_t>(after - text.data()));
  if (!text.starts_with(rest) || !text.ends_with("\"")) return refuse();
  text.remove_prefix(rest.size());
  text.remove_suffix(1);
  if (text.empty()) return refuse();
  const std::filesystem::path folder{std::string(text)};

  std::this_thread::sleep_for(std::chrono::seconds(count - 1));

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
