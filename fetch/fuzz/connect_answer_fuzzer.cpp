// The HTTP CONNECT tunnel reading whatever a proxy answers.
#include <cstddef>
#include <cstdint>

#include "fetch/fuzz/loopback_pair.hpp"
#include "fetch/http/tunnel.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 20'000) return -1;  // past the head limit nothing new happens
  if (size == 0) return 0;
  // The first byte chooses the request: credentials or not, the target port.
  const bool credentials = (data[0] & 1) != 0;
  const std::uint16_t port = (data[0] & 2) != 0 ? 443 : 8443;
  auto pair = fuzz::pair_answering(data + 1, size - 1);
  fetch::ProxyEndpoint proxy{fetch::ProxyKind::Http, "127.0.0.1", std::nullopt, 3128};
  if (credentials) proxy.credentials = fetch::ProxyCredentials{"user", "password"};
  (void)fetch::http_connect_tunnel(pair.client, proxy, "target.example", port);
  return 0;
}
