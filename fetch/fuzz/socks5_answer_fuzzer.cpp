// The SOCKS5 tunnel reading whatever a proxy answers.
#include <cstddef>
#include <cstdint>

#include "fetch/fuzz/loopback_pair.hpp"
#include "fetch/http/tunnel.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 4096) return -1;  // the longest exchange is a few hundred bytes
  if (size == 0) return 0;
  // The first byte chooses whether the proxy address carries credentials.
  const bool credentials = (data[0] & 1) != 0;
  auto pair = fuzz::pair_answering(data + 1, size - 1);
  fetch::ProxyEndpoint proxy{fetch::ProxyKind::Socks5, "127.0.0.1", std::nullopt, 1080};
  if (credentials) proxy.credentials = fetch::ProxyCredentials{"user", "password"};
  (void)fetch::socks5_tunnel(pair.client, proxy, "target.example", 443);
  return 0;
}
