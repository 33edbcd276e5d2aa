#include "testkit/site_server.hpp"

#include <algorithm>
#include <stdexcept>

#include <openssl/err.h>

#include "testkit/loopback.hpp"
#include "testkit/pki.hpp"
#include "testkit/tls_server.hpp"

namespace testkit {

namespace {

using namespace std::chrono_literals;

SslContext server_context() {
  SslContext context = tls_server_context({platform::display(test_pki_file("localhost-chain.pem")),
                                           platform::display(test_pki_file("localhost.key"))});
  if (!context) {
    throw std::runtime_error("the test site cannot load the localhost certificate from " +
                             platform::display(test_pki_dir()));
  }
  return context;
}

// The Content-Length of a request head, 0 when it has none.
std::size_t content_length(const std::string& head) {
  std::string lower;
  for (char c : head) lower.push_back(static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c));
  const std::size_t at = lower.find("\r\ncontent-length:");
  if (at == std::string::npos) return 0;
  return std::stoul(head.substr(at + 17));
}

platform::Listener bind_port(std::uint16_t port) {
  const auto give_up = std::chrono::steady_clock::now() + 60s;
  for (;;) {
    auto listener = platform::Listener::bind(loopback4(port), 16);
    if (listener) return std::move(*listener);
    if (port == 0 || std::chrono::steady_clock::now() > give_up) {
      throw std::runtime_error("the test site cannot listen: " + listener.error().text());
    }
    std::this_thread::sleep_for(100ms);
  }
}

// Sends filler until a write fails (the client has hung up, or stopped
// reading for the socket's send time-out), a minute has passed or the server
// stops.
void send_until_the_client_goes(SSL* ssl, const std::atomic<bool>& stop) {
  const std::string filler(64 * 1024, 'x');
  const auto give_up = std::chrono::steady_clock::now() + 60s;
  while (!stop && std::chrono::steady_clock::now() < give_up) {
    if (SSL_write(ssl, filler.data(), static_cast<int>(filler.size())) <= 0) return;
  }
}

}  // namespace

SiteAnswer no_content() { return SiteAnswer{"HTTP/1.1 204 No Content\r\nConnection: close\r\n\r\n"}; }

SiteServer::SiteServer(SiteAnswer answer, std::uint16_t port) {
  ignore_broken_pipes();
  listener_ = bind_port(port);
  port_ = listener_.local_address()->port;
  thread_ = std::thread([this, answer = std::move(answer)] { run(answer); });
}

SiteServer::~SiteServer() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
}

std::string SiteServer::api_url() const { return "https://localhost:" + std::to_string(port_) + "/api/site"; }

std::vector<std::string> SiteServer::requests() {
  std::lock_guard lock(mutex_);
  return requests_;
}

bool SiteServer::wait_for_requests(std::size_t count, std::chrono::milliseconds time) {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, time, [&] { return requests_.size() >= count; });
}

void SiteServer::run(SiteAnswer answer) {
  const SslContext context = server_context();
  const auto give_up = std::chrono::steady_clock::now() + 60s;
  while (!stop_ && std::chrono::steady_clock::now() < give_up) {
    auto accepted = listener_.accept(100ms);
    if (!accepted) continue;
    ++connections_;
    auto tls = accept_tls(context.get(), std::move(*accepted));
    if (!tls) continue;
    SSL* ssl = tls->ssl.get();
    std::string request = read_tls_head(ssl);
    const std::size_t head_end = request.find("\r\n\r\n");
    if (head_end != std::string::npos) {
      std::size_t body = content_length(request.substr(0, head_end + 2));
      std::string chunk(4096, '\0');
      while (body > 0) {
        const int got = SSL_read(ssl, chunk.data(), static_cast<int>(std::min(body, chunk.size())));
        if (got <= 0) break;
        request.append(chunk.data(), static_cast<std::size_t>(got));
        body -= static_cast<std::size_t>(got);
      }
    }
    {
      std::lock_guard lock(mutex_);
      requests_.push_back(request);
    }
    changed_.notify_all();

    const auto answer_at = std::chrono::steady_clock::now() + answer.delay;
    while (!stop_ && (answer.never || std::chrono::steady_clock::now() < answer_at)) {
      std::this_thread::sleep_for(10ms);
    }
    if (!answer.never && !stop_) {
      SSL_write(ssl, answer.bytes.data(), static_cast<int>(answer.bytes.size()));
      if (answer.endless) {
        const auto began = std::chrono::steady_clock::now();
        send_until_the_client_goes(ssl, stop_);
        endless_lasted_ =
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - began);
        endless_ended_ = true;
      }
      SSL_shutdown(ssl);
    }
    ERR_clear_error();
  }
}

}  // namespace testkit
