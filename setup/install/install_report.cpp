#include "setup/install/install_report.hpp"

#include <thread>

#include <fmt/format.h>

#include "fetch/http/request.hpp"
#include "fetch/http/server_url.hpp"
#include "fetch/progress.hpp"
#include "morvane/config.hpp"
#include "platform/bytes.hpp"
#include "platform/env.hpp"

namespace setup {

namespace {

constexpr std::size_t max_version_characters = 32;
constexpr std::chrono::seconds longest_wait{3};

bool known_kind(std::string_view kind) {
  return kind == "installed" || kind == "reinstalled" || kind == "uninstalled";
}

}  // namespace

std::string report_version_text(const std::optional<std::string>& version) {
  std::string kept;
  if (!version) return kept;
  for (char c : *version) {
    if (kept.size() == max_version_characters) break;
    if (c == '.' || (c >= '0' && c <= '9')) kept.push_back(c);
  }
  return kept;
}

std::string install_report_body(std::string_view kind, const std::optional<std::string>& version) {
  return fmt::format("{{\"k\":\"{}\",\"v\":\"{}\",\"o\":\"{}\"}}", kind, report_version_text(version), "windows");
}

void ReportCompletion::send() {
  {
    std::lock_guard lock(mutex_);
    sent_ = true;
  }
  arrived_.notify_all();
}

void ReportCompletion::wait_at_most(std::chrono::milliseconds time) {
  std::unique_lock lock(mutex_);
  arrived_.wait_for(lock, time, [this] { return sent_; });
}

void post_install_report(const std::shared_ptr<ReportCompletion>& completion, const std::string& site_api_url,
                         const std::string& body) {
  try {
    if (auto server = fetch::parse_server_url(site_api_url)) {
      const fetch::RequestBody request_body{"application/json", platform::byte_view(body)};
      // Whatever comes back, an answer of any kind or a failure, is dropped,
      // so the request ends once the answer's head is in: a body is never
      // read, however long the site says it is or keeps it coming.
      const fetch::ProgressFn stop_at_the_body = [](std::uint64_t, std::uint64_t) { return false; };
      (void)fetch::send_request(*server, "/setup", request_body, stop_at_the_body);
    }
  } catch (...) {
    // Nothing about the report ever reaches the user.
  }
  completion->send();
}

void send_install_report_to(std::string_view site_api_url, std::string_view kind,
                            const std::optional<std::string>& version) {
  if (!known_kind(kind)) return;
  std::string body = install_report_body(kind, version);
  if (platform::env_var("MORVANE_SETUP_UNCOUNTED")) return;

  // The thread owns copies of what it needs and shares only the completion
  // with this caller, which may have gone by the time it is done.
  auto completion = std::make_shared<ReportCompletion>();
  std::thread reporter(&post_install_report, completion, std::string(site_api_url), std::move(body));
  reporter.detach();
  completion->wait_at_most(longest_wait);
}

void send_install_report(std::string_view kind, const std::optional<std::string>& version) {
  send_install_report_to(config::site_api_url, kind, version);
}

}  // namespace setup
