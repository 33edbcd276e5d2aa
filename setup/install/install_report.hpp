// The short report of an install, update or uninstall that the installer
// posts to the maker's site API: best-effort, its answer never looked at,
// and waited for at most 3 seconds.
#pragma once

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace setup {

// The version as the report carries it: only its full stops and ASCII
// digits, in order, at most 32 of them (nothing for no version).
std::string report_version_text(const std::optional<std::string>& version);

// {"k":"<kind>","v":"<version>","o":"windows"}, with no blanks.
std::string install_report_body(std::string_view kind, const std::optional<std::string>& version);

// What the report thread tells its waiting caller: one message, when it is
// done. A message sent after the caller has stopped waiting goes nowhere.
class ReportCompletion {
 public:
  void send();
  // Waits until the message came or `time` has passed.
  void wait_at_most(std::chrono::milliseconds time);

 private:
  std::mutex mutex_;
  std::condition_variable arrived_;
  bool sent_ = false;
};

// Posts the report for "installed", "reinstalled" or "uninstalled" (any
// other kind sends nothing) to the site API of this build, unless
// MORVANE_SETUP_UNCOUNTED is set (to anything, the empty value included).
// The post runs on a thread of its own that nobody joins; this returns when
// it is done or after 3 seconds, whichever comes first.
void send_install_report(std::string_view kind, const std::optional<std::string>& version);

// send_install_report to the site API at `site_api_url` (a base URL such as
// "https://host/api/site"; the report goes to "/setup" below it).
void send_install_report_to(std::string_view site_api_url, std::string_view kind,
                            const std::optional<std::string>& version);

// The report thread's work: POST the body to "/setup" below the site API
// (a base URL that does not parse sends nothing), drop whatever comes back,
// then send the completion message.
void post_install_report(const std::shared_ptr<ReportCompletion>& completion, const std::string& site_api_url,
                         const std::string& body);

}  // namespace setup
