#include "fetch/http/tls_server_name.hpp"

#include <cstddef>

#include "platform/socket.hpp"

namespace fetch {

namespace {

bool is_letter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_'; }
bool is_digit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

bool is_dns_name(std::string_view text) {
  constexpr std::size_t max_name = 253;
  constexpr std::size_t max_label = 63;
  if (text.size() > max_name) return false;

  // Where the scan stands: before a label (at the start or after a dot, with
  // a note whether the label before was digits alone), or inside a label that
  // is digits alone so far, or that last took a letter or digit, or a "-".
  enum class State { Start, Next, NextAfterNumeric, Numeric, Subsequent, Hyphen };
  State state = State::Start;
  std::size_t length = 0;
  for (char c : text) {
    const bool before_label = state == State::Start || state == State::Next || state == State::NextAfterNumeric;
    if (c == '.') {
      if (state == State::Subsequent) {
        state = State::Next;
      } else if (state == State::Numeric) {
        state = State::NextAfterNumeric;
      } else {
        return false;  // an empty label, or one ending in "-"
      }
      length = 0;
      continue;
    }
    if (!before_label && length >= max_label) return false;
    if (before_label) {
      if (is_digit(c)) {
        state = State::Numeric;
      } else if (is_letter(c)) {
        state = State::Subsequent;
      } else {
        return false;  // "-" or any other character cannot start a label
      }
      length = 1;
      continue;
    }
    if (c == '-') {
      state = State::Hyphen;
    } else if (is_digit(c)) {
      if (state != State::Numeric) state = State::Subsequent;
    } else if (is_letter(c)) {
      state = State::Subsequent;
    } else {
      return false;
    }
    ++length;
  }
  return state == State::Next || state == State::NextAfterNumeric || state == State::Subsequent;
}

std::optional<TlsServerName> tls_server_name(std::string_view host) {
  if (is_dns_name(host)) {
    std::string name(host);
    if (name.ends_with('.')) name.pop_back();
    return TlsServerName{TlsServerName::Kind::Dns, std::move(name)};
  }
  if (auto address = platform::parse_ip_literal(std::string(host), 0)) {
    return TlsServerName{TlsServerName::Kind::Ip, platform::address_text(*address)};
  }
  return std::nullopt;
}

}  // namespace fetch
