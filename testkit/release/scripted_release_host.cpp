#include "testkit/release/scripted_release_host.hpp"

#include <cctype>
#include <cstdio>
#include <optional>
#include <stdexcept>

#include <fmt/format.h>

#include "platform/fs.hpp"
#include "testkit/loopback.hpp"
#include "update/check/release_path.hpp"

namespace testkit {

namespace {

// The server stops taking connections after this long by itself.
constexpr auto kLifetime = std::chrono::minutes(2);
// A client that sends nothing for this long loses its connection.
constexpr auto kReadLimit = std::chrono::seconds(5);

std::string with_length(const std::string& status_line, std::uint64_t length) {
  return fmt::format("{}\r\nContent-Length: {}\r\n", status_line, length);
}

// The target of the request line "GET <target> HTTP/1.1".
std::string target_of(const std::string& head) {
  const std::size_t first = head.find(' ');
  if (first == std::string::npos) return {};
  const std::size_t second = head.find(' ', first + 1);
  if (second == std::string::npos) return {};
  return head.substr(first + 1, second - first - 1);
}

// The span of "Range: bytes=A-B" (header name in any case), if any.
std::optional<std::pair<std::uint64_t, std::uint64_t>> range_of(const std::string& head) {
  std::string lower = head;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  const std::size_t at = lower.find("\r\nrange: bytes=");
  if (at == std::string::npos) return std::nullopt;
  unsigned long long start = 0;
  unsigned long long end = 0;
  if (std::sscanf(lower.c_str() + at, "\r\nrange: bytes=%llu-%llu", &start, &end) != 2) return std::nullopt;
  return std::pair<std::uint64_t, std::uint64_t>{start, end};
}

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
  const auto range = range_of(head);
  if (!range) return reply::ok(std::move(body));
  const auto [start, end] = *range;
  if (start > end || end >= body.size()) {
    Reply refused = reply::status(416, "Range Not Satisfiable");
    refused.head += fmt::format("Content-Range: bytes */{}\r\n", body.size());
    return refused;
  }
  Reply partial;
  partial.head = with_length("HTTP/1.1 206 Partial Content", end - start + 1) +
                 fmt::format("Content-Range: bytes {}-{}/{}\r\n", start, end, body.size());
  partial.body = body.substr(start, end - start + 1);
  return partial;
}

}  // namespace

namespace reply {

Reply ok(std::string body) {
  Reply reply;
  reply.head = with_length("HTTP/1.1 200 OK", body.size());
  reply.body = std::move(body);
  return reply;
}

Reply status(int code, const std::string& reason, std::string body) {
  Reply reply;
  reply.head = with_length(fmt::format("HTTP/1.1 {} {}", code, reason), body.size());
  reply.body = std::move(body);
  return reply;
}

Reply not_modified() {
  Reply reply;
  reply.head = "HTTP/1.1 304 Not Modified\r\n";
  return reply;
}

Reply redirect(int code, const std::string& location) {
  Reply reply;
  reply.head = with_length(fmt::format("HTTP/1.1 {} Redirect", code), 0) + fmt::format("Location: {}\r\n", location);
  return reply;
}

Reply declared_length(std::string body, std::uint64_t length) {
  Reply reply;
  reply.head = with_length("HTTP/1.1 200 OK", length);
  reply.body = std::move(body);
  return reply;
}

Reply slowly(Reply reply, std::size_t piece, std::chrono::milliseconds pause) {
  reply.piece = piece;
  reply.pause = pause;
  return reply;
}

Reply hang_up() {
  Reply reply;
  reply.hang_up = true;
  return reply;
}

}  // namespace reply

std::string channel_target(const std::string& name, const std::string& product, const std::string& channel) {
  return fmt::format("{}/{}", update::release_path(product, channel), name);
}

ScriptedReleaseHost::ScriptedReleaseHost() : own_root_(std::make_unique<TempDir>()), root_(own_root_->path()) {
  start();
}

ScriptedReleaseHost::ScriptedReleaseHost(const platform::Path& root) : root_(root) { start(); }

ScriptedReleaseHost::~ScriptedReleaseHost() {
  stop_ = true;
  if (acceptor_.joinable()) acceptor_.join();
  for (auto& connection : connections_) connection.thread.join();
}

void ScriptedReleaseHost::start() {
  auto listener = platform::Listener::bind(loopback4(0), 64);
  if (!listener) throw std::runtime_error("scripted release host cannot listen: " + listener.error().text());
  listener_ = std::move(*listener);
  auto address = listener_.local_address();
  if (!address) throw std::runtime_error("scripted release host has no address: " + address.error().text());
  port_ = address->port;
  acceptor_ = std::thread([this] { accept_loop(); });
}

fetch::ServerUrl ScriptedReleaseHost::url() const { return fetch::ServerUrl{"127.0.0.1", "", port_, false}; }

std::string ScriptedReleaseHost::base_url() const { return fmt::format("http://127.0.0.1:{}", port_); }

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
  std::lock_guard lock(mutex_);
  return targets_;
}

std::vector<std::string> ScriptedReleaseHost::heads() {
  std::lock_guard lock(mutex_);
  return heads_;
}

void ScriptedReleaseHost::accept_loop() {
  const auto give_up = std::chrono::steady_clock::now() + kLifetime;
  while (!stop_ && std::chrono::steady_clock::now() < give_up) {
    auto accepted = listener_.accept(std::chrono::milliseconds(50));
    std::erase_if(connections_, [](Connection& connection) {
      if (!*connection.ended) return false;
      connection.thread.join();
      return true;
    });
    if (!accepted) continue;
    auto ended = std::make_shared<std::atomic<bool>>(false);
    connections_.push_back(Connection{std::thread([this, ended, socket = std::move(*accepted)]() mutable {
                                        serve(std::move(socket));
                                        *ended = true;
                                      }),
                                      ended});
  }
  listener_.close();
}

Reply ScriptedReleaseHost::reply_for(const std::string& target, const std::string& head) {
  {
    std::lock_guard lock(mutex_);
    const auto scripted = replies_.find(target);
    if (scripted != replies_.end()) return scripted->second;
  }
  return file_reply(root_, target, head);
}

void ScriptedReleaseHost::serve(platform::Socket socket) {
  (void)socket.set_receive_timeout(kReadLimit);
  (void)socket.set_send_timeout(kReadLimit);
  std::string head;
  std::uint8_t byte = 0;
  while (!head.ends_with("\r\n\r\n")) {
    auto got = socket.receive(std::span(&byte, 1));
    if (!got || *got == 0) return;
    head += static_cast<char>(byte);
  }
  const std::string target = target_of(head);
  std::function<void(const std::string&)> hook;
  {
    std::lock_guard lock(mutex_);
    heads_.push_back(head);
    targets_.push_back(target);
    hook = hook_;
  }
  if (hook) hook(target);

  const Reply reply = reply_for(target, head);
  if (reply.hang_up) return;
  auto send_all = [&](std::string_view bytes) {
    platform::ByteView rest = platform::byte_view(bytes);
    while (!rest.empty()) {
      auto sent = socket.send(rest);
      if (!sent || *sent == 0) return false;
      rest = rest.subspan(*sent);
    }
    return true;
  };
  // A reply sent at once goes out in one piece, so that a client finds the
  // start of the body in the same read as the head.
  if (reply.piece == 0) {
    (void)send_all(reply.head + "\r\n" + reply.body);
    return;
  }
  if (!send_all(reply.head + "\r\n")) return;
  const std::string_view body = reply.body;
  for (std::size_t at = 0; at < body.size() && !stop_; at += reply.piece) {
    std::this_thread::sleep_for(reply.pause);
    if (!send_all(body.substr(at, reply.piece))) return;
  }
}

}  // namespace testkit
