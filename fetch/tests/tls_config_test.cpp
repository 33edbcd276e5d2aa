#include <ctime>
#include <set>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <openssl/bio.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include "fetch/digest/sha256.hpp"
#include "fetch/http/tls_config.hpp"
#include "fetch/http/trust_anchors/trust_anchors.hpp"
#include "testkit/pki.hpp"

namespace fetch {
namespace {

std::string subject_of(const TrustAnchor& anchor) {
  const unsigned char* der = anchor.der;
  X509* cert = d2i_X509(nullptr, &der, static_cast<long>(anchor.size));
  if (cert == nullptr) return {};
  char name[512];
  X509_NAME_oneline(X509_get_subject_name(cert), name, sizeof name);
  const bool whole = der == anchor.der + anchor.size;
  X509_free(cert);
  return whole ? name : std::string();
}

// The DER of every anchor, one after another.
platform::Bytes all_der(std::span<const TrustAnchor> anchors) {
  platform::Bytes all;
  for (const auto& anchor : anchors) all.insert(all.end(), anchor.der, anchor.der + anchor.size);
  return all;
}

// The production list as committed: scripts/make-trust-anchors made it on
// 2026-12-10 and printed its count and digest; a renewed list changes the
// three values here with it.
TEST(TrustAnchors, TheProductionListIsTheCommittedOne) {
  const auto anchors = mozilla_trust_anchors();
  EXPECT_EQ(anchors.size(), 146u);
  EXPECT_EQ(sha256_hex(all_der(anchors)), "829295052bdf87560f21903ce5a3dbce9cbc1fefb6742ec507cc54c2a48e2276");

  // Each one whole certificate, none twice, none that had expired by the
  // end of the day the list was made.
  const std::time_t made_on = 1'796'947'200;  // 2026-12-11 00:00 UTC
  std::set<std::string> certificates;
  std::set<std::string> names;
  for (const auto& anchor : anchors) {
    SCOPED_TRACE(anchor.name);
    EXPECT_FALSE(subject_of(anchor).empty()) << "not one whole DER certificate";
    const unsigned char* der = anchor.der;
    X509* cert = d2i_X509(nullptr, &der, static_cast<long>(anchor.size));
    ASSERT_NE(cert, nullptr);
    std::time_t at = made_on;
    EXPECT_EQ(X509_cmp_time(X509_get0_notAfter(cert), &at), 1) << "expired when the list was made";
    X509_free(cert);
    certificates.insert(std::string(reinterpret_cast<const char*>(anchor.der), anchor.size));
    names.insert(std::string(anchor.name));
  }
  EXPECT_EQ(certificates.size(), anchors.size()) << "two files hold the same certificate";
  EXPECT_FALSE(names.contains("Baltimore_CyberTrust_Root.crt"));
  EXPECT_FALSE(names.contains("Entrust_Root_Certification_Authority.crt"));
  EXPECT_TRUE(names.contains("ISRG_Root_X1.crt"));
}

// The committed test list is the test PKI's roots as they are in
// testkit/pki: a PKI made again needs the list made again.
TEST(TrustAnchors, TheTestListHoldsTheTestPkisRoots) {
  const auto anchors = test_trust_anchors();
  ASSERT_EQ(anchors.size(), 2u);
  const std::string files[] = {"root-ca.pem", "expired-root-ca.pem"};
  for (std::size_t i = 0; i < anchors.size(); ++i) {
    SCOPED_TRACE(files[i]);
    const std::string path = platform::display(testkit::test_pki_file(files[i]));
    BIO* bio = BIO_new_file(path.c_str(), "r");
    ASSERT_NE(bio, nullptr);
    X509* cert = PEM_read_bio_X509(bio, nullptr, nullptr, nullptr);
    BIO_free(bio);
    ASSERT_NE(cert, nullptr);
    unsigned char* der = nullptr;
    const int size = i2d_X509(cert, &der);
    X509_free(cert);
    ASSERT_GT(size, 0);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(der), static_cast<std::size_t>(size)),
              std::string(reinterpret_cast<const char*>(anchors[i].der), anchors[i].size));
    OPENSSL_free(der);
  }
}

TEST(TlsConfig, IsBuiltOnceForEveryThread) {
  std::vector<SSL_CTX*> seen(8);
  std::vector<std::thread> threads;
  for (auto& slot : seen) threads.emplace_back([&slot] { slot = build_tls_config(); });
  for (auto& thread : threads) thread.join();
  for (SSL_CTX* ctx : seen) EXPECT_EQ(ctx, seen.front());
  EXPECT_NE(seen.front(), nullptr);
}

TEST(TlsConfig, HoldsTheVersionsAndTheAnchorsAsItsOnlyRoots) {
  SSL_CTX* ctx = build_tls_config();
  EXPECT_EQ(SSL_CTX_get_min_proto_version(ctx), TLS1_2_VERSION);
  EXPECT_EQ(SSL_CTX_get_max_proto_version(ctx), TLS1_3_VERSION);
  EXPECT_EQ(SSL_CTX_get_verify_mode(ctx), SSL_VERIFY_PEER);
  EXPECT_NE(SSL_CTX_get_options(ctx) & SSL_OP_NO_ENCRYPT_THEN_MAC, 0u);
  EXPECT_EQ(SSL_CTX_get_session_cache_mode(ctx), SSL_SESS_CACHE_CLIENT | SSL_SESS_CACHE_NO_INTERNAL_STORE);

  STACK_OF(X509_OBJECT)* objects = X509_STORE_get0_objects(SSL_CTX_get_cert_store(ctx));
  std::set<std::string> roots;
  for (int i = 0; i < sk_X509_OBJECT_num(objects); ++i) {
    X509* cert = X509_OBJECT_get0_X509(sk_X509_OBJECT_value(objects, i));
    if (cert == nullptr) continue;
    char name[512];
    X509_NAME_oneline(X509_get_subject_name(cert), name, sizeof name);
    roots.insert(name);
  }
  EXPECT_EQ(roots, (std::set<std::string>{"/CN=Morvane Test Root CA/O=Morvane Test",
                                          "/CN=Morvane Test Expired Root CA/O=Morvane Test"}));
}

}  // namespace
}  // namespace fetch
