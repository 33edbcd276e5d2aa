#include "fetch/http/connect_error.hpp"

#include <fmt/format.h>

namespace fetch {

namespace {

struct Sentence {
  std::string operator()(const ConnectError::Direct& e) const {
    return fmt::format("could not reach {} directly: {}", e.target, e.reason);
  }
  std::string operator()(const ConnectError::ProxySilent& e) const {
    return fmt::format("the proxy at {} is not answering: {}", e.proxy, e.reason);
  }
  std::string operator()(const ConnectError::ProxyRefused& e) const {
    return fmt::format("the proxy at {} refused this connection: {}", e.proxy, e.reason);
  }
  std::string operator()(const ConnectError::ProxyCannotReach& e) const {
    return fmt::format("the proxy at {} could not reach {}: {}", e.proxy, e.target, e.reason);
  }
  std::string operator()(const ConnectError::NotAProxy& e) const {
    return fmt::format("the proxy at {} did not answer as a proxy: {}", e.proxy, e.reason);
  }
  std::string operator()(const ConnectError::ProxyAddress& e) const {
    return fmt::format("the proxy address cannot be read: {}", e.reason);
  }
};

}  // namespace

std::string format_connect_error(const ConnectError& error) { return std::visit(Sentence{}, error.value); }

}  // namespace fetch
