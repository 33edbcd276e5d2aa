#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include "fetch/http/tls_config.hpp"
#include "fetch/http/trust_anchors/trust_anchors.hpp"

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

TEST(TrustAnchors, TheMozillaSetHoldsEveryCertificateFileTheBuildRead) {
  const auto anchors = mozilla_trust_anchors();
  EXPECT_EQ(anchors.size(), std::size_t{MORVANE_MOZILLA_ANCHOR_FILES});
  std::set<std::string> certificates;
  for (const auto& anchor : anchors) {
    EXPECT_FALSE(subject_of(anchor).empty()) << anchor.name << " is not one whole DER certificate";
    certificates.insert(std::string(reinterpret_cast<const char*>(anchor.der), anchor.size));
  }
  EXPECT_EQ(certificates.size(), anchors.size()) << "two files hold the same certificate";
}

TEST(TrustAnchors, TheTestBuildTrustsTheTestRootsAlone) {
  const auto anchors = trust_anchors();
  ASSERT_EQ(anchors.data(), test_trust_anchors().data());
  ASSERT_EQ(anchors.size(), 2u);
  EXPECT_EQ(subject_of(anchors[0]), "/CN=Morvane Test Root CA/O=Morvane Test");
  EXPECT_EQ(subject_of(anchors[1]), "/CN=Morvane Test Expired Root CA/O=Morvane Test");
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
