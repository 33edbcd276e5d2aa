// The failure of the connect-and-tunnel stage of opening a connection.
#pragma once

#include <string>
#include <variant>

namespace fetch {

struct ConnectError {
  struct Direct { std::string target, reason; };
  struct ProxySilent { std::string proxy, reason; };
  struct ProxyRefused { std::string proxy, reason; };
  struct ProxyCannotReach { std::string proxy, target, reason; };
  struct NotAProxy { std::string proxy, reason; };
  struct ProxyAddress { std::string reason; };

  std::variant<Direct, ProxySilent, ProxyRefused, ProxyCannotReach, NotAProxy, ProxyAddress> value;

  template <class V>
  bool is() const { return std::holds_alternative<V>(value); }
  template <class V>
  const V* get() const { return std::get_if<V>(&value); }
};

// The display sentence of the error.
std::string format_connect_error(const ConnectError& error);

}  // namespace fetch
