#include "setup/tests/user_profile.hpp"

#include <chrono>
#include <stdexcept>
#include <thread>

#include "fetch/http/server_url.hpp"
#include "morvane/config.hpp"
#include "platform/fs.hpp"
#include "platform/process.hpp"
#include "platform/socket.hpp"
#include "setup/common/install_paths.hpp"
#include "setup/install/uninstall_entry.hpp"
#include "setup/tests/disk_views.hpp"
#include "setup/tests/scoped_env.hpp"
#include "testkit/host_tools.hpp"
#include "testkit/loopback.hpp"

namespace setup_test {

namespace {

using namespace std::chrono_literals;

std::uint16_t port_of(std::string_view url_text) {
  // The site API's URL has a path, which the release host's parser takes
  // as its prefix.
  const auto url = fetch::parse_server_url(url_text);
  if (!url) throw std::runtime_error("the build's URL " + std::string(url_text) + " does not parse");
  return url->port;
}

// Waits (up to a minute) until nothing listens on the loopback port: a
// server that another test run left there would otherwise answer in place
// of the one about to start, whose nginx cannot bind the port.
void wait_until_free(std::uint16_t port) {
  const auto give_up = std::chrono::steady_clock::now() + 60s;
  while (platform::Socket::connect(testkit::loopback4(port), 200ms)) {
    if (std::chrono::steady_clock::now() > give_up) {
      throw std::runtime_error("something else listens on port " + std::to_string(port));
    }
    std::this_thread::sleep_for(100ms);
  }
}

}  // namespace

std::uint16_t configured_release_port() { return port_of(config::release_host_url); }

std::uint16_t configured_site_port() { return port_of(config::site_api_url); }

UserProfile::UserProfile(const std::string& user_name)
    : user_root(user_name.empty() ? root.path() : root / user_name) {
  for (const auto& dir : {home, tmp, cwd, run_dir, local, hive, start_menu, desktop_link.parent_path()}) {
    if (!platform::create_dirs(dir)) throw std::runtime_error("cannot make " + dir.string());
  }
}

std::map<std::string, std::string> UserProfile::env(const EnvChanges& changes) const {
  std::map<std::string, std::string> all = {
      {"HOME", home.string()},
      {"TMPDIR", tmp.string()},
      {"TMP", tmp.string()},
      {"TEMP", tmp.string()},
      {"XDG_RUNTIME_DIR", run_dir.string()},
      {"LOCALAPPDATA", local.string()},
      {"APPDATA", app_data.string()},
      {"USERPROFILE", profile.string()},
      {"MORVANE_HIVE_DIR", hive.string()},
      {"MORVANE_SETUP_UNCOUNTED", "1"},
  };
  for (const auto& [name, value] : changes) {
    if (value) {
      all[name] = *value;
    } else {
      all.erase(name);
    }
  }
  return all;
}

ExeRun UserProfile::run(const std::vector<std::string>& args, const EnvChanges& changes) const {
  return run_setup_exe(args, env(changes), cwd, root / "capture");
}

ExeRun UserProfile::quiet_install_cut_after(std::chrono::milliseconds after) const {
  return run_exe(testkit::build_path(MORVANE_SETUP_EXE), {"--quiet"}, env(), cwd, root / "capture", after);
}

ExeRun UserProfile::run_program(const platform::Path& program, const std::vector<std::string>& args,
                                const EnvChanges& changes) const {
  return run_exe(program, args, env(changes), cwd, root / "capture");
}

platform::Path UserProfile::temp_log() const {
  ScopedEnv tmp_env("TMPDIR", tmp.string());
  ScopedEnv windows_tmp_env("TMP", tmp.string());
  ScopedEnv windows_temp_env("TEMP", tmp.string());
  return setup::temp_log_path(install);
}

std::optional<std::string> UserProfile::entry_value(const std::string& name) const {
  ScopedEnv hive_env("MORVANE_HIVE_DIR", hive.string());
  auto r = platform::run_hidden("reg", {"query", setup::uninstall_key_path(), "/v", name});
  if (!r || r->exit_code != 0) return std::nullopt;
  return platform::to_string(r->stdout_bytes);
}

std::map<std::string, platform::Bytes> UserProfile::product_tree() const {
  auto tree = tree_of(install);
  std::erase_if(tree, [](const auto& entry) { return entry.first.starts_with("updates/"); });
  return tree;
}

std::string UserProfile::differences_from(const testkit::Release& release) const {
  std::string differences;
  for (const auto& file : release.files) {
    auto installed = platform::read_file(install / file.name);
    if (!installed) {
      differences += file.name + " is missing; ";
    } else if (*installed != file.bytes) {
      differences += file.name + " differs; ";
    }
  }
  return differences;
}

testkit::Release quick_release(const std::string& version, std::int64_t issued_at_ms) {
  testkit::Release release = product_release(version, issued_at_ms);
  for (auto& file : release.files) file.xz_options = {"-0"};
  return release;
}

std::vector<StagedLine> staged_lines(const platform::Path& updates_dir, const std::string& version) {
  // "<ms> · <version> · <path> · <text>"
  const std::string separator = " \u00b7 ";
  std::vector<StagedLine> lines;
  const std::string text = read_text(updates_dir / "staged.log");
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(start, end - start);
    start = end + 1;
    const std::size_t v = line.find(separator);
    if (v == std::string::npos) continue;
    const std::size_t p = line.find(separator, v + separator.size());
    if (p == std::string::npos) continue;
    const std::size_t t = line.find(separator, p + separator.size());
    if (t == std::string::npos) continue;
    if (line.substr(v + separator.size(), p - v - separator.size()) != version) continue;
    lines.emplace_back(line.substr(p + separator.size(), t - p - separator.size()), line.substr(t + separator.size()));
  }
  return lines;
}

void LocalChannel::publish(const testkit::Release& release) {
  auto published = testkit::publish_release(root_.path(), release);
  if (!published) throw std::runtime_error(published.error());
  if (!host_) start();
}

platform::Path LocalChannel::published_file(const std::string& name) const {
  return testkit::channel_dir(root_.path()) / name;
}

void LocalChannel::start() {
  const std::uint16_t port = configured_release_port();
  for (int attempt = 0; attempt < 3; ++attempt) {
    wait_until_free(port);
    host_ = std::make_unique<testkit::ReleaseHost>(root_.path(), port);
    if (answers_on_port()) return;
    // Another test run's server took the port first and answered for ours.
    host_.reset();
  }
  throw std::runtime_error("the local channel's nginx never got port " + std::to_string(port));
}

bool LocalChannel::answers_on_port() {
  // A plain-text request on the TLS port: nginx answers 400 and logs it in
  // its own access log, which only this channel's nginx writes.
  const std::string probe = "GET /local-channel-probe HTTP/1.0\r\n\r\n";
  auto socket = platform::Socket::connect(testkit::loopback4(host_->port()), 1s);
  if (!socket || !socket->set_receive_timeout(2s) || !socket->send(platform::byte_view(probe))) return false;
  std::uint8_t buffer[512];
  while (true) {
    auto got = socket->receive(buffer);
    if (!got || *got == 0) break;
  }
  const auto until = std::chrono::steady_clock::now() + 1s;
  while (std::chrono::steady_clock::now() < until) {
    const auto lines = host_->requests();
    if (!lines.empty()) {
      probe_lines_ = lines.size();
      return lines.back() == "GET /local-channel-probe 400";
    }
    std::this_thread::sleep_for(10ms);
  }
  return false;
}

std::vector<std::string> LocalChannel::requests() const {
  if (!host_) return {};
  // nginx logs a request once it has finished with its connection, not in
  // the order the requests came: wait until nothing has been added for a
  // moment.
  const auto give_up = std::chrono::steady_clock::now() + 3s;
  auto lines = host_->requests();
  auto quiet_since = std::chrono::steady_clock::now();
  while (std::chrono::steady_clock::now() - quiet_since < 150ms && std::chrono::steady_clock::now() < give_up) {
    std::this_thread::sleep_for(10ms);
    auto now = host_->requests();
    if (now.size() != lines.size()) {
      lines = std::move(now);
      quiet_since = std::chrono::steady_clock::now();
    }
  }
  lines.erase(lines.begin(), lines.begin() + static_cast<std::ptrdiff_t>(std::min(probe_lines_, lines.size())));
  return lines;
}

std::vector<std::string> LocalChannel::requests_since(std::size_t from) const {
  auto lines = requests();
  if (from >= lines.size()) return {};
  return {lines.begin() + static_cast<std::ptrdiff_t>(from), lines.end()};
}

std::string channel_get(const std::string& name, int status) {
  return "GET /releases/morvane/stable-intl/" + name + " " + std::to_string(status);
}

}  // namespace setup_test
