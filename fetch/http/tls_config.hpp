// The TLS client configuration that every HTTPS connection shares.
#pragma once

typedef struct ssl_ctx_st SSL_CTX;

namespace fetch {

// The process-wide client context, built by the first caller (callers that
// arrive meanwhile wait for it) and kept, unchanged, for the life of the
// process; every caller gets the same object.
//
// TLS 1.2 and 1.3 only; the suites, key-exchange groups and signature
// algorithms below, in that order; no ALPN, no client certificate, no
// encrypt-then-MAC; the server's chain verified against the compiled-in
// trust anchors alone (the system's store and OpenSSL's configuration file
// are never read); client-side resumption with sessions kept per server name.
SSL_CTX* build_tls_config();

// The lists as the context is configured with them.
inline constexpr const char* tls13_cipher_suites =
    "TLS_AES_256_GCM_SHA384:TLS_AES_128_GCM_SHA256:TLS_CHACHA20_POLY1305_SHA256";
inline constexpr const char* tls12_cipher_suites =
    "ECDHE-ECDSA-AES256-GCM-SHA384:ECDHE-ECDSA-AES128-GCM-SHA256:ECDHE-ECDSA-CHACHA20-POLY1305:"
    "ECDHE-RSA-AES256-GCM-SHA384:ECDHE-RSA-AES128-GCM-SHA256:ECDHE-RSA-CHACHA20-POLY1305";
inline constexpr const char* tls_groups = "X25519:P-256:P-384";
inline constexpr const char* tls_signature_algorithms =
    "ECDSA+SHA384:ECDSA+SHA256:ed25519:rsa_pss_rsae_sha512:rsa_pss_rsae_sha384:rsa_pss_rsae_sha256:"
    "RSA+SHA512:RSA+SHA384:RSA+SHA256";

}  // namespace fetch
