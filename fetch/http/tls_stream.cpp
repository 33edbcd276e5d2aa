#include "fetch/http/tls_stream.hpp"

#include <algorithm>
#include <climits>
#include <string>

#include <fmt/format.h>
#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509_vfy.h>
#include <openssl/x509v3.h>

#include "fetch/http/tls_session_cache.hpp"
#include "morvane/config.hpp"

namespace fetch {

// The BIO under the session: reads and writes go through the platform
// socket, so that the socket's own errors (its receive time-out among them)
// reach the caller with the system's text, and the end of the socket is
// reported to the TLS library as an end of file.
struct TlsStreamBio {
  static TlsStream& stream(BIO* bio) { return *static_cast<TlsStream*>(BIO_get_data(bio)); }

  static int read(BIO* bio, char* data, std::size_t size, std::size_t* done) {
    BIO_clear_retry_flags(bio);
    *done = 0;
    if (size == 0) return 0;
    TlsStream& s = stream(bio);
    const auto got = s.socket_.receive(
        std::span<std::uint8_t>(reinterpret_cast<std::uint8_t*>(data), std::min<std::size_t>(size, INT_MAX)));
    if (!got) {
      s.socket_error_ = got.error();
      return 0;
    }
    if (*got == 0) {
      s.socket_ended_ = true;
      return 0;
    }
    *done = *got;
    return 1;
  }

  static int write(BIO* bio, const char* data, std::size_t size, std::size_t* done) {
    BIO_clear_retry_flags(bio);
    *done = 0;
    if (size == 0) return 1;
    TlsStream& s = stream(bio);
    const auto sent = s.socket_.send(platform::ByteView(reinterpret_cast<const std::uint8_t*>(data), size));
    if (!sent) {
      s.socket_error_ = sent.error();
      return 0;
    }
    if (*sent == 0) {
      s.socket_error_ = platform::IoError::write_zero();
      return 0;
    }
    *done = *sent;
    return 1;
  }

  static long ctrl(BIO* bio, int command, long, void*) {
    switch (command) {
      case BIO_CTRL_FLUSH: return 1;
      case BIO_CTRL_EOF: return stream(bio).socket_ended_ ? 1 : 0;
      default: return 0;
    }
  }

  static int create(BIO* bio) {
    BIO_set_init(bio, 1);
    return 1;
  }

  static BIO_METHOD* method() {
    static BIO_METHOD* const method = [] {
      static const std::string name = fmt::format("{} socket", config::product_lower);
      BIO_METHOD* m = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, name.c_str());
      BIO_meth_set_read_ex(m, read);
      BIO_meth_set_write_ex(m, write);
      BIO_meth_set_ctrl(m, ctrl);
      BIO_meth_set_create(m, create);
      return m;
    }();
    return method;
  }
};

namespace {

// The oldest error in the library's queue, as its display text, with the
// details the library attached; the queue is cleared. Empty when the queue
// was empty.
std::string take_queued_error(SSL* ssl, unsigned long* reason_out) {
  const char* data = nullptr;
  int flags = 0;
  const unsigned long code = ERR_get_error_all(nullptr, nullptr, nullptr, &data, &flags);
  if (reason_out != nullptr) *reason_out = code == 0 ? 0 : ERR_GET_REASON(code);
  if (code == 0) return {};
  const char* reason = ERR_reason_error_string(code);
  std::string text = reason != nullptr ? reason : fmt::format("OpenSSL error {:08X}", code);
  const bool has_data = data != nullptr && *data != '\0' && (flags & ERR_TXT_STRING) != 0;
  if (has_data) text += fmt::format(" ({})", data);
  if (ERR_GET_LIB(code) == ERR_LIB_SSL && ERR_GET_REASON(code) == SSL_R_CERTIFICATE_VERIFY_FAILED && !has_data &&
      ssl != nullptr) {
    const long verify = SSL_get_verify_result(ssl);
    if (verify != X509_V_OK) text += fmt::format(": {}", X509_verify_cert_error_string(verify));
  }
  ERR_clear_error();
  return text;
}

}  // namespace

void TlsStream::SslFree::operator()(SSL* ssl) const {
  // No close alert: the flags say the shutdown is done, which also keeps
  // the library from marking the connection's session as not resumable.
  SSL_set_shutdown(ssl, SSL_SENT_SHUTDOWN | SSL_RECEIVED_SHUTDOWN);
  SSL_free(ssl);
}

TlsStream::TlsStream(Key, platform::Socket socket, std::string session_key)
    : socket_(std::move(socket)), session_key_(std::move(session_key)) {}

TlsStream::~TlsStream() {
  ssl_.reset();
  socket_.close();
}

tl::expected<std::unique_ptr<TlsStream>, std::string> TlsStream::start(SSL_CTX* ctx, platform::Socket socket,
                                                                       const TlsServerName& name,
                                                                       std::string session_key) {
  auto stream = std::make_unique<TlsStream>(Key{}, std::move(socket), std::move(session_key));
  const auto refuse = [&]() -> tl::unexpected<std::string> {
    std::string text = take_queued_error(nullptr, nullptr);
    if (text.empty()) text = "the TLS library could not make a session";
    return tl::unexpected(std::move(text));
  };

  ERR_clear_error();
  stream->ssl_.reset(SSL_new(ctx));
  SSL* ssl = stream->ssl_.get();
  if (ssl == nullptr) return refuse();
  BIO* bio = BIO_new(TlsStreamBio::method());
  if (bio == nullptr) return refuse();
  BIO_set_data(bio, stream.get());
  SSL_set_bio(ssl, bio, bio);  // the session owns the BIO now
  SSL_set_connect_state(ssl);

  X509_VERIFY_PARAM* param = SSL_get0_param(ssl);
  X509_VERIFY_PARAM_set_hostflags(param, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS | X509_CHECK_FLAG_NEVER_CHECK_SUBJECT);
  if (name.kind == TlsServerName::Kind::Dns) {
    // Server name indication goes out for DNS names only.
    if (SSL_set_tlsext_host_name(ssl, name.text.c_str()) != 1) return refuse();
    if (X509_VERIFY_PARAM_set1_host(param, name.text.data(), name.text.size()) != 1) return refuse();
  } else {
    if (X509_VERIFY_PARAM_set1_ip_asc(param, name.text.c_str()) != 1) return refuse();
  }
  prepare_resumption(ssl, &stream->session_key_);
  return stream;
}

platform::IoError TlsStream::failure(int result) {
  const int code = SSL_get_error(ssl_.get(), result);
  unsigned long reason = 0;
  std::string queued = take_queued_error(ssl_.get(), &reason);
  if (code == SSL_ERROR_SYSCALL && socket_error_) return *socket_error_;
  if (!queued.empty()) {
    const auto kind =
        reason == SSL_R_UNEXPECTED_EOF_WHILE_READING ? platform::ErrorKind::UnexpectedEof : platform::ErrorKind::Other;
    return platform::IoError::custom(kind, std::move(queued));
  }
  if (socket_error_) return *socket_error_;
  if (code == SSL_ERROR_ZERO_RETURN) {
    return platform::IoError::custom(platform::ErrorKind::UnexpectedEof, "the peer closed the TLS session");
  }
  return platform::IoError::custom(platform::ErrorKind::Other,
                                   fmt::format("the TLS library failed (SSL_get_error {})", code));
}

tl::expected<void, std::string> TlsStream::handshake() {
  ERR_clear_error();
  socket_error_.reset();
  const int result = SSL_connect(ssl_.get());
  if (result == 1) return {};
  return tl::unexpected(failure(result).text());
}

tl::expected<void, platform::IoError> TlsStream::write_all(platform::ByteView bytes) {
  while (!bytes.empty()) {
    ERR_clear_error();
    socket_error_.reset();
    std::size_t written = 0;
    const int result = SSL_write_ex(ssl_.get(), bytes.data(), bytes.size(), &written);
    if (result != 1) return tl::unexpected(failure(result));
    if (written == 0) {
      return tl::unexpected(platform::IoError::write_zero());
    }
    bytes = bytes.subspan(written);
  }
  return {};
}

tl::expected<void, platform::IoError> TlsStream::flush() { return {}; }

tl::expected<std::size_t, platform::IoError> TlsStream::read(std::span<std::uint8_t> buffer) {
  ERR_clear_error();
  socket_error_.reset();
  std::size_t got = 0;
  const int result = SSL_read_ex(ssl_.get(), buffer.data(), buffer.size(), &got);
  if (result == 1) return got;
  if (SSL_get_error(ssl_.get(), result) == SSL_ERROR_ZERO_RETURN) return 0;  // close_notify
  return tl::unexpected(failure(result));
}

bool TlsStream::session_reused() const { return SSL_session_reused(ssl_.get()) == 1; }

}  // namespace fetch
