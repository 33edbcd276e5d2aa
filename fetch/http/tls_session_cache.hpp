// Client-side TLS session resumption: sessions kept in memory per server
// name, so that the many short connections of a ranged download resume
// instead of running full handshakes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>

typedef struct ssl_st SSL;
typedef struct ssl_ctx_st SSL_CTX;
typedef struct ssl_session_st SSL_SESSION;

namespace fetch {

struct SslSessionFree {
  void operator()(SSL_SESSION* session) const;
};
using SslSessionPtr = std::unique_ptr<SSL_SESSION, SslSessionFree>;

// At most `max_servers` server names, the least recently used forgotten
// first. A TLS 1.3 session (a ticket) is handed out once and a few are kept
// per server; a TLS 1.2 session is kept alone and handed out to every
// connection.
class TlsSessionCache {
 public:
  static constexpr std::size_t max_servers = 256;
  static constexpr std::size_t max_tickets_per_server = 8;

  // Keeps the session (the cache owns the reference it is given).
  void store(const std::string& server, SslSessionPtr session);
  // A session to resume with, or none.
  SslSessionPtr take(const std::string& server);

  std::size_t server_count() const;

 private:
  struct Entry {
    std::deque<SslSessionPtr> sessions;
    std::uint64_t last_use = 0;
  };
  mutable std::mutex mutex_;
  std::map<std::string, Entry> entries_;
  std::uint64_t clock_ = 0;
};

// The process-wide cache.
TlsSessionCache& tls_session_cache();

// Sets the context up to hand every new session of its connections to the
// cache (SSL_SESS_CACHE_CLIENT with the library's own store left out).
void attach_session_cache(SSL_CTX* ctx);

// Before the handshake: names the server whose sessions the connection
// stores (the text must outlive the SSL object) and, when the cache has one,
// offers a session to resume.
void prepare_resumption(SSL* ssl, const std::string* server);

}  // namespace fetch
