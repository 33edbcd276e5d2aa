#include "testkit/http_server.hpp"

#include <cctype>
#include <cstdio>
#include <stdexcept>
#include <string_view>

#include <fmt/format.h>

#include "platform/bytes.hpp"
#include "testkit/loopback.hpp"

namespace testkit {

namespace {

// The server stops taking connections after this long by itself.
constexpr auto kLifetime = std::chrono::minutes(2);
// A client that sends nothing for this long loses its connection.
constexpr auto kReadLimit = std::chrono::seconds(5);

std::string with_length(const std::string& status_line, std::uint64_t length) {
  return fmt::format("{}\r\nContent-Length: {}\r\n", status_line, length);
}

}  // namespace

namespace reply {

Reply answer(const std::string& status_line, const std::string& headers, std::string body) {
  Reply reply;
  reply.head = fmt::format("{}\r\n{}Content-Length: {}\r\n", status_line, headers, body.size());
  reply.body = std::move(body);
  return reply;
}

Reply ok(std::string body) { return answer("HTTP/1.1 200 OK", "", std::move(body)); }

Reply status(int code, const std::string& reason, std::string body) {
  return answer(fmt::format("HTTP/1.1 {} {}", code, reason), "", std::move(body));
}

Reply partial(const std::string& file, std::uint64_t first, std::uint64_t last) {
  return answer("HTTP/1.1 206 Partial Content", fmt::format("Content-Range: bytes {}-{}/{}\r\n", first, last, file.size()),
                file.substr(first, last - first + 1));
}

Reply not_modified() {
  Reply reply;
  reply.head = "HTTP/1.1 304 Not Modified\r\n";
  return reply;
}

Reply redirect(int code, const std::string& location) {
  return answer(fmt::format("HTTP/1.1 {} Redirect", code), fmt::format("Location: {}\r\n", location), "");
}

Reply declared_length(std::string body, std::uint64_t length) {
  Reply reply;
  reply.head = with_length("HTTP/1.1 200 OK", length);
  reply.body = std::move(body);
  return reply;
}

Reply delayed(Reply reply, std::chrono::milliseconds delay) {
  reply.delay = delay;
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

std::string request_target(const std::string& head) {
  const std::size_t first = head.find(' ');
  if (first == std::string::npos) return {};
  const std::size_t second = head.find(' ', first + 1);
  if (second == std::string::npos) return {};
  return head.substr(first + 1, second - first - 1);
}

std::optional<RequestedRange> requested_range(const std::string& head) {
  std::string lower = head;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  const std::size_t at = lower.find("\r\nrange: bytes=");
  if (at == std::string::npos) return std::nullopt;
  unsigned long long first = 0;
  unsigned long long last = 0;
  if (std::sscanf(lower.c_str() + at, "\r\nrange: bytes=%llu-%llu", &first, &last) != 2) return std::nullopt;
  return RequestedRange{first, last};
}

HttpServer::HttpServer(Handler handler) : handler_(std::move(handler)) {
  auto listener = platform::Listener::bind(loopback4(0), 64);
  if (!listener) throw std::runtime_error("the test's HTTP server cannot listen: " + listener.error().text());
  listener_ = std::move(*listener);
  auto address = listener_.local_address();
  if (!address) throw std::runtime_error("the test's HTTP server has no address: " + address.error().text());
  port_ = address->port;
  acceptor_ = std::thread([this] { accept_loop(); });
}

HttpServer::~HttpServer() {
  stop_ = true;
  if (acceptor_.joinable()) acceptor_.join();
  for (auto& connection : connections_) connection.thread.join();
}

std::vector<std::string> HttpServer::heads() {
  std::lock_guard lock(mutex_);
  return heads_;
}

void HttpServer::accept_loop() {
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

void HttpServer::serve(platform::Socket socket) {
  const int now_open = ++open_;
  int peak = peak_.load();
  while (now_open > peak && !peak_.compare_exchange_weak(peak, now_open)) {
  }
  struct Closed {
    std::atomic<int>& open;
    ~Closed() { --open; }
  } closed{open_};

  (void)socket.set_receive_timeout(kReadLimit);
  (void)socket.set_send_timeout(kReadLimit);
  std::string head;
  std::uint8_t byte = 0;
  while (!head.ends_with("\r\n\r\n")) {
    auto got = socket.receive(std::span(&byte, 1));
    if (!got || *got == 0) return;
    head += static_cast<char>(byte);
  }
  {
    std::lock_guard lock(mutex_);
    heads_.push_back(head);
  }
  const Reply reply = handler_(head);
  std::this_thread::sleep_for(reply.delay);
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
