// The failure of the connect-and-tunnel stage of opening a connection.
#pragma once

#include <string>
#include <variant>

#include "platform/one_of.hpp"

namespace fetch {

// The alternatives of a ConnectError, which holds one of them.
struct ConnectErrorCases {
  struct Direct { std::string target, reason; };
  struct ProxySilent { std::string proxy, reason; };
  struct ProxyRefused { std::string proxy, reason; };
  struct ProxyCannotReach { std::string proxy, target, reason; };
  struct NotAProxy { std::string proxy, reason; };
  struct ProxyAddress { std::string reason; };

  std::variant<Direct, ProxySilent, ProxyRefused, ProxyCannotReach, NotAProxy, ProxyAddress> value;
};
using ConnectError = platform::OneOf<ConnectErrorCases>;

// The display sentence of the error.
std::string format_connect_error(const ConnectError& error);

}  // namespace fetch
