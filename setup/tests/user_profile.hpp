// A user of the real morvane-setup, for tests that run it as a user would:
// a throwaway profile (home, temporary folder, runtime folder, LOCALAPPDATA,
// APPDATA, USERPROFILE with its Desktop and Start menu, and the hive of the
// `reg` stand-in, all in one temporary folder), the local release channel
// that nginx serves on the test build's compiled-in release host port, and
// what a test reads back from both.
//
// Tests that use it hold that port (and, with a SiteServer, the site API's),
// so CTest runs them one at a time.
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/bytes.hpp"
#include "platform/path.hpp"
#include "setup/tests/product_release.hpp"
#include "setup/tests/setup_process.hpp"
#include "testkit/release/release_host.hpp"
#include "testkit/release/release_publisher.hpp"
#include "testkit/temp_dir.hpp"

namespace setup_test {

// The ports of the release host and of the site API that the test build is
// configured with.
std::uint16_t configured_release_port();
std::uint16_t configured_site_port();

// Environment changes for one run: a variable's new value, or none to unset
// it.
using EnvChanges = std::map<std::string, std::optional<std::string>>;

class UserProfile {
 public:
  // With a user's name, the profile's folders lie in a folder of that name
  // (a name with characters that a command interpreter reads, say).
  explicit UserProfile(const std::string& user_name = "");

  testkit::TempDir root;
  // Where the profile's folders are: root, or its folder of the user's name.
  platform::Path user_root;
  platform::Path home = user_root / "home";
  platform::Path tmp = user_root / "tmp";
  platform::Path cwd = user_root / "cwd";
  platform::Path run_dir = user_root / "run";
  platform::Path local = user_root / "local";
  platform::Path app_data = user_root / "appdata";
  platform::Path profile = user_root / "profile";
  platform::Path hive = user_root / "hive";
  platform::Path install = local / "Programs" / "MORVANE";
  platform::Path updates = install / "updates";
  platform::Path setup_log = updates / "setup.log";
  platform::Path start_menu = app_data / "Microsoft" / "Windows" / "Start Menu" / "Programs";
  platform::Path start_menu_link = start_menu / "Morvane.lnk";
  platform::Path desktop_link = profile / "Desktop" / "Morvane.lnk";

  // The profile's environment; the install report is off
  // (MORVANE_SETUP_UNCOUNTED) unless a change unsets it.
  std::map<std::string, std::string> env(const EnvChanges& changes = {}) const;

  // morvane-setup with these arguments in this profile.
  ExeRun run(const std::vector<std::string>& args, const EnvChanges& changes = {}) const;
  ExeRun quiet_install(const EnvChanges& changes = {}) const { return run({"--quiet"}, changes); }
  // The quiet install, killed after `after` unless it has ended by then.
  ExeRun quiet_install_cut_after(std::chrono::milliseconds after) const;
  // The quiet install with its report sent.
  ExeRun counted_quiet_install() const { return quiet_install({{"MORVANE_SETUP_UNCOUNTED", std::nullopt}}); }
  // Another program (the installed uninstall.exe) in this profile.
  ExeRun run_program(const platform::Path& program, const std::vector<std::string>& args,
                     const EnvChanges& changes = {}) const;

  // Where a failed first install of this profile leaves its setup.log.
  platform::Path temp_log() const;

  // What `reg query` answers for a value of the uninstall entry, or none
  // when it fails.
  std::optional<std::string> entry_value(const std::string& name) const;

  // Every file of the installation but those of its updates folder, by
  // relative path, with its bytes.
  std::map<std::string, platform::Bytes> product_tree() const;

  // The product's files as the release has them, each compared with the
  // installed one; "" when all match, else what differs.
  std::string differences_from(const testkit::Release& release) const;
};

// product_release() with xz artifacts made at the fastest level: the same
// channel, published in a fraction of the time.
testkit::Release quick_release(const std::string& version, std::int64_t issued_at_ms);

// One staged.log line: the path and the decision (the time and the version
// taken away).
using StagedLine = std::pair<std::string, std::string>;

// The staged.log lines of one version, in order.
std::vector<StagedLine> staged_lines(const platform::Path& updates_dir, const std::string& version);

// The channel: releases published into a folder of its own, served by nginx
// on the configured port from the first publish on. A server that another
// test run left on the port is waited for, and a start that lost the port
// to one is tried again, so that no other server answers for this one.
class LocalChannel {
 public:
  void publish(const testkit::Release& release);
  // A published file of the channel (release.json, say) in its folder.
  platform::Path published_file(const std::string& name) const;
  // Stops serving: nothing listens on the port any more.
  void stop() { host_.reset(); }
  // Serves again what was published before the stop.
  void resume() {
    if (!host_) start();
  }
  // nginx's request lines ("GET /releases/morvane/stable-intl/x 200"), once
  // no more have come for a moment. They are in the order in which nginx
  // finished the requests, which is not always the order they came in.
  std::vector<std::string> requests() const;
  // The request lines after the first `from`.
  std::vector<std::string> requests_since(std::size_t from) const;

 private:
  void start();
  // Whether the server on the port is this channel's nginx.
  bool answers_on_port();

  testkit::TempDir root_;
  std::unique_ptr<testkit::ReleaseHost> host_;
  // The access log's lines of that check, left out of requests().
  std::size_t probe_lines_ = 0;
};

// "GET /releases/morvane/stable-intl/<name> <status>".
std::string channel_get(const std::string& name, int status = 200);

// The installed product running as the user starts it: the profile's
// morvane.exe run by the shell, which starts the product stand-in with that
// path; it holds "Global\MORVANE.instance" until the object goes.
class RunningInstalledProduct {
 public:
  explicit RunningInstalledProduct(const UserProfile& user);
  ~RunningInstalledProduct();
  RunningInstalledProduct(const RunningInstalledProduct&) = delete;
  RunningInstalledProduct& operator=(const RunningInstalledProduct&) = delete;

  // "<pid> <path>" as the stand-in logged it once it held the mutex.
  const std::string& started() const { return started_; }

 private:
  std::intptr_t process_ = -1;  // a pid here, a process HANDLE on Windows
  std::string started_;
};

}  // namespace setup_test
