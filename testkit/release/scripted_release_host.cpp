#include "testkit/release/scripted_release_host.hpp"

#include <fmt/format.h>

#include "platform/fs.hpp"
#include "update/check/release_path.hpp"

namespace testkit {

namespace {

// A static server's answer for the file below the root.
Reply file_reply(const platform::Path& root, const std::string& target, const std::string& head) {
  if (target.empty() || target[0] != '/' || target.find("..") != std::string::npos) {
    return reply::status(400, "Bad Request");
  }
  const platform::Path path = root / platform::path_from_utf8(target.substr(1));
  if (!platform::is_regular_file(path)) return reply::status(404, "Not Found");
  auto bytes = platform::read_file(path);
  if (!bytes) return reply::status(500, "Internal Server Error");
  std::string body = platform::to_string(*bytes);
  const auto range = requested_range(head);
  if (!range) return reply::ok(std::move(body));
  if (range->first > range->last || range->last >= body.size()) {
    Reply refused = reply::status(416, "Range Not Satisfiable");
    refused.head += fmt::format("Content-Range: bytes */{}\r\n", body.size());
    return refused;
  }
  return reply::partial(body, range->first, range->last);
}

}  // namespace

std::string channel_target(const std::string& name, const std::string& product, const std::string& channel) {
  return fmt::format("{}/{}", update::release_path(product, channel), name);
}

ScriptedReleaseHost::ScriptedReleaseHost()
    : own_root_(std::make_unique<TempDir>()),
      root_(own_root_->path()),
      server_([this](const std::string& head) { return reply_for(head); }) {}

ScriptedReleaseHost::ScriptedReleaseHost(const platform::Path& root)
    : root_(root), server_([this](const std::string& head) { return reply_for(head); }) {}

fetch::ServerUrl ScriptedReleaseHost::url() const { return fetch::ServerUrl{"127.0.0.1", "", port(), false}; }

std::string ScriptedReleaseHost::base_url() const { return fmt::format("http://127.0.0.1:{}", port()); }

void ScriptedReleaseHost::answer(const std::string& target, Reply reply) {
  std::lock_guard lock(mutex_);
  replies_[target] = std::move(reply);
}

void ScriptedReleaseHost::serve_file(const std::string& target) {
  std::lock_guard lock(mutex_);
  replies_.erase(target);
}

void ScriptedReleaseHost::on_request(std::function<void(const std::string& target)> hook) {
  std::lock_guard lock(mutex_);
  hook_ = std::move(hook);
}

std::vector<std::string> ScriptedReleaseHost::targets() {
  std::vector<std::string> targets;
  for (const std::string& head : server_.heads()) targets.push_back(request_target(head));
  return targets;
}

Reply ScriptedReleaseHost::reply_for(const std::string& head) {
  const std::string target = request_target(head);
  std::function<void(const std::string&)> hook;
  {
    std::lock_guard lock(mutex_);
    hook = hook_;
  }
  if (hook) hook(target);
  {
    std::lock_guard lock(mutex_);
    const auto scripted = replies_.find(target);
    if (scripted != replies_.end()) return scripted->second;
  }
  return file_reply(root_, target, head);
}

}  // namespace testkit
