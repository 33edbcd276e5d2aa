#include "fetch/tests/handler_server.hpp"

#include <stdexcept>

#include <fmt/format.h>

#include "testkit/loopback.hpp"

namespace fetch_test {

HandlerServer::HandlerServer(Handler handler) : handler_(std::move(handler)) {
  auto listener = platform::Listener::bind(testkit::loopback4(0), 64);
  if (!listener) throw std::runtime_error("cannot listen: " + listener.error().text());
  listener_ = std::move(*listener);
  port_ = listener_.local_address()->port;
  acceptor_ = std::thread([this] { accept_loop(); });
}

HandlerServer::~HandlerServer() {
  stop_ = true;
  if (acceptor_.joinable()) acceptor_.join();
  for (auto& connection : connections_) connection.join();
}

std::vector<std::string> HandlerServer::heads() {
  std::lock_guard lock(mutex_);
  return heads_;
}

void HandlerServer::accept_loop() {
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!stop_ && std::chrono::steady_clock::now() < give_up) {
    auto accepted = listener_.accept(std::chrono::milliseconds(50));
    if (!accepted) continue;
    connections_.emplace_back([this, socket = std::move(*accepted)]() mutable { serve(std::move(socket)); });
  }
}

void HandlerServer::serve(platform::Socket socket) {
  const int now_open = ++open_;
  int peak = peak_.load();
  while (now_open > peak && !peak_.compare_exchange_weak(peak, now_open)) {
  }
  (void)socket.set_receive_timeout(std::chrono::seconds(5));
  std::string head;
  std::uint8_t byte;
  while (!head.ends_with("\r\n\r\n")) {
    auto got = socket.receive(std::span(&byte, 1));
    if (!got || *got == 0) break;
    head += static_cast<char>(byte);
  }
  int index;
  {
    std::lock_guard lock(mutex_);
    index = static_cast<int>(heads_.size());
    heads_.push_back(head);
  }
  const Answer answer = handler_(head, index);
  std::this_thread::sleep_for(answer.delay);
  platform::ByteView rest = platform::byte_view(answer.bytes);
  while (!rest.empty()) {
    auto sent = socket.send(rest);
    if (!sent || *sent == 0) break;
    rest = rest.subspan(*sent);
  }
  --open_;
}

std::optional<fetch::ByteRange> requested_range(const std::string& head, std::uint64_t total) {
  const auto at = head.find("\r\nRange: bytes=");
  if (at == std::string::npos) return std::nullopt;
  unsigned long long start = 0, end = 0;
  if (std::sscanf(head.c_str() + at, "\r\nRange: bytes=%llu-%llu", &start, &end) != 2) return std::nullopt;
  return fetch::ByteRange{start, end, total};
}

std::string http_answer(const std::string& status_line, const std::string& headers, const std::string& body) {
  return fmt::format("{}\r\n{}Content-Length: {}\r\n\r\n{}", status_line, headers, body.size(), body);
}

std::string partial_answer(const std::string& file, const fetch::ByteRange& range) {
  return http_answer("HTTP/1.1 206 Partial Content",
                     fmt::format("Content-Range: bytes {}-{}/{}\r\n", range.start, range.end, range.total),
                     file.substr(range.start, range.end - range.start + 1));
}

}  // namespace fetch_test
