#include "fetch/http/tls_session_cache.hpp"

#include <algorithm>

#include <openssl/ssl.h>

namespace fetch {

void SslSessionFree::operator()(SSL_SESSION* session) const { SSL_SESSION_free(session); }

void TlsSessionCache::store(const std::string& server, SslSessionPtr session) {
  if (!session) return;
  const bool tls13 = SSL_SESSION_get_protocol_version(session.get()) == TLS1_3_VERSION;
  std::lock_guard lock(mutex_);
  Entry& entry = entries_[server];
  entry.last_use = ++clock_;
  if (!tls13) entry.sessions.clear();
  entry.sessions.push_back(std::move(session));
  while (entry.sessions.size() > max_tickets_per_server) entry.sessions.pop_front();
  if (entries_.size() > max_servers) {
    auto oldest = std::min_element(entries_.begin(), entries_.end(), [](const auto& a, const auto& b) {
      return a.second.last_use < b.second.last_use;
    });
    entries_.erase(oldest);
  }
}

SslSessionPtr TlsSessionCache::take(const std::string& server) {
  std::lock_guard lock(mutex_);
  auto found = entries_.find(server);
  if (found == entries_.end()) return nullptr;
  Entry& entry = found->second;
  entry.last_use = ++clock_;
  while (!entry.sessions.empty()) {
    SSL_SESSION* newest = entry.sessions.back().get();
    if (!SSL_SESSION_is_resumable(newest)) {
      entry.sessions.pop_back();
      continue;
    }
    if (SSL_SESSION_get_protocol_version(newest) == TLS1_3_VERSION) {
      SslSessionPtr ticket = std::move(entry.sessions.back());
      entry.sessions.pop_back();
      return ticket;
    }
    SSL_SESSION_up_ref(newest);
    return SslSessionPtr(newest);
  }
  return nullptr;
}

std::size_t TlsSessionCache::server_count() const {
  std::lock_guard lock(mutex_);
  return entries_.size();
}

TlsSessionCache& tls_session_cache() {
  static TlsSessionCache cache;
  return cache;
}

namespace {

int server_index() {
  static const int index = SSL_get_ex_new_index(0, nullptr, nullptr, nullptr, nullptr);
  return index;
}

// The library calls this for every session a connection establishes
// (in TLS 1.3 for every ticket the server sends, which may come after the
// handshake). Answering 1 hands the reference to the cache.
int on_new_session(SSL* ssl, SSL_SESSION* session) {
  const auto* server = static_cast<const std::string*>(SSL_get_ex_data(ssl, server_index()));
  if (server == nullptr) return 0;
  tls_session_cache().store(*server, SslSessionPtr(session));
  return 1;
}

}  // namespace

void attach_session_cache(SSL_CTX* ctx) {
  server_index();
  SSL_CTX_set_session_cache_mode(ctx, SSL_SESS_CACHE_CLIENT | SSL_SESS_CACHE_NO_INTERNAL_STORE);
  SSL_CTX_sess_set_cache_size(ctx, static_cast<long>(TlsSessionCache::max_servers));
  SSL_CTX_sess_set_new_cb(ctx, on_new_session);
}

void prepare_resumption(SSL* ssl, const std::string* server) {
  SSL_set_ex_data(ssl, server_index(), const_cast<std::string*>(server));
  if (SslSessionPtr session = tls_session_cache().take(*server)) {
    SSL_set_session(ssl, session.get());  // takes its own reference
  }
}

}  // namespace fetch
