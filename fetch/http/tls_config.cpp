#include "fetch/http/tls_config.hpp"

#include <memory>
#include <stdexcept>

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include "fetch/http/tls_session_cache.hpp"
#include "fetch/http/trust_anchors/trust_anchors.hpp"

namespace fetch {

namespace {

struct SslCtxFree {
  void operator()(SSL_CTX* ctx) const { SSL_CTX_free(ctx); }
};
struct X509StoreFree {
  void operator()(X509_STORE* store) const { X509_STORE_free(store); }
};
struct X509Free {
  void operator()(X509* cert) const { X509_free(cert); }
};

[[noreturn]] void refuse_configuration() {
  ERR_clear_error();
  throw std::logic_error("the ring provider supports TLS 1.2 and 1.3, both compiled in here");
}

// The trust anchors, parsed from their DER bytes, as the only roots.
std::unique_ptr<X509_STORE, X509StoreFree> anchor_store() {
  std::unique_ptr<X509_STORE, X509StoreFree> store(X509_STORE_new());
  if (!store) refuse_configuration();
  for (const TrustAnchor& anchor : trust_anchors()) {
    const unsigned char* der = anchor.der;
    std::unique_ptr<X509, X509Free> cert(d2i_X509(nullptr, &der, static_cast<long>(anchor.size)));
    // The anchors were parsed when the program was built; one that does not
    // parse now is left out rather than trusted in some other form.
    if (!cert) continue;
    X509_STORE_add_cert(store.get(), cert.get());  // takes its own reference
  }
  ERR_clear_error();
  return store;
}

std::unique_ptr<SSL_CTX, SslCtxFree> make_config() {
  // Before anything else of the library: never read openssl.cnf, whose
  // settings (system-wide cipher policy, providers) would change what is
  // configured here.
  OPENSSL_init_ssl(OPENSSL_INIT_NO_LOAD_CONFIG, nullptr);

  std::unique_ptr<SSL_CTX, SslCtxFree> ctx(SSL_CTX_new(TLS_client_method()));
  if (!ctx) refuse_configuration();
  SSL_CTX* c = ctx.get();

  if (SSL_CTX_set_min_proto_version(c, TLS1_2_VERSION) != 1 ||
      SSL_CTX_set_max_proto_version(c, TLS1_3_VERSION) != 1 ||
      SSL_CTX_set_ciphersuites(c, tls13_cipher_suites) != 1 ||
      SSL_CTX_set_cipher_list(c, tls12_cipher_suites) != 1 ||
      SSL_CTX_set1_groups_list(c, tls_groups) != 1 ||
      SSL_CTX_set1_sigalgs_list(c, tls_signature_algorithms) != 1) {
    refuse_configuration();
  }
  SSL_CTX_set_options(c, SSL_OP_NO_ENCRYPT_THEN_MAC | SSL_OP_NO_RENEGOTIATION | SSL_OP_NO_COMPRESSION);
  // Stated here rather than left to a configuration: no RSA or DH key below
  // 2048 bits, no SHA-1 signature in the chain.
  SSL_CTX_set_security_level(c, 2);
  // Records are read from the socket as they come, several at a time, rather
  // than header and body apart: far fewer receives for a large body.
  SSL_CTX_set_read_ahead(c, 1);
  SSL_CTX_set_default_read_buffer_len(c, 64 * 1024);
  // No ALPN protocols are set, so the extension is not sent; no client
  // certificate is loaded, so a server that asks gets none.
  SSL_CTX_set_verify(c, SSL_VERIFY_PEER, nullptr);

  auto store = anchor_store();
  SSL_CTX_set_cert_store(c, store.release());  // the context owns it now

  attach_session_cache(c);
  ERR_clear_error();
  return ctx;
}

}  // namespace

SSL_CTX* build_tls_config() {
  // A function-local static is built once; a concurrent first caller waits.
  // Should the build throw, the next caller tries again.
  static const std::unique_ptr<SSL_CTX, SslCtxFree> config = make_config();
  return config.get();
}

}  // namespace fetch
