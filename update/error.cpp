#include "update/error.hpp"

#include <fmt/format.h>

#include "platform/text.hpp"
#include "platform/overloaded.hpp"

namespace update {

std::string display_update_error(const UpdateError& error) {
  using E = UpdateError;
  return std::visit(
      platform::Overloaded{
          [](const E::NoSignature& e) {
            return fmt::format(
                "the release manifest at {} arrived with no signature — this client installs "
                "nothing it cannot verify, and there is no unsigned path to fall back to",
                e.url);
          },
          [](const E::NotEd25519& e) {
            return fmt::format(
                "the signature for {} is not an Ed25519 signature ({} bytes, expected {}) — "
                "nothing was verified and nothing was staged",
                e.url, e.length, e.expected);
          },
          [](const E::SignatureFailure& e) {
            return fmt::format(
                "SIGNATURE VERIFICATION FAILURE for {}: the signature is well formed but no key "
                "pinned in this build accepts it over these bytes. The release was NOT staged. A "
                "bad signature is a finding about the channel, not a transient — nothing will be "
                "retried automatically.",
                e.url);
          },
          [](const E::UnpinnedKey& e) {
            return fmt::format(
                "the manifest for {} names signing key {}, which this build does not pin. A new "
                "key ships pinned inside an ordinary update signed by the old one; there is no "
                "key-fetch step, ever.",
                e.url, e.key_id);
          },
          [](const E::Unusable& e) {
            return fmt::format("the release manifest at {} verified but is not usable: {}", e.url,
                               e.reason);
          },
          [](const E::WrongProduct& e) {
            return fmt::format(
                "the release manifest at {} is for {} on channel {}; this binary is {} on channel "
                "{}. A release is addressed to one product and is not interchangeable.",
                e.url, e.product, e.channel, e.expected_product, e.expected_channel);
          },
          [](const E::Replay& e) {
            return fmt::format(
                "the release manifest at {} was issued at {} ms, older than the newest this "
                "client has ever verified ({} ms). A signature proves origin, not currency; this "
                "is a replay and it is refused.",
                e.url, e.issued_at_ms, e.high_water_ms);
          },
          [](const E::HashMismatch& e) {
            return fmt::format(
                "{} does not match the verified manifest (sha256 expected {}, got {}) — it was "
                "NOT installed",
                e.name, e.expected, e.got);
          },
          [](const E::SizeMismatch& e) {
            return fmt::format(
                "{} is {} bytes where the verified manifest says {} — it was NOT installed",
                e.name, e.actual, e.expected);
          },
          [](const E::Incomplete& e) {
            return fmt::format("the staged release is incomplete: {} is missing", e.name);
          },
          [](const E::Unreachable& e) {
            return fmt::format("cannot reach the release channel for {}: {}", e.context,
                               e.message);
          },
          [](const E::Cancelled&) {
            return std::string("the update download was cancelled — nothing partial was staged");
          },
          [](const E::Io& e) { return fmt::format("io error at {}: {}", e.at, e.message); },
          [](const E::OutsideWriteSet& e) {
            return fmt::format(
                "{} names {}, which is outside the updater's write set ({}) — the journal was "
                "NOT replayed",
                e.journal, e.path, e.write_set);
          },
      },
      error.value);
}

std::string error_one_line(const UpdateError& error) {
  const std::string sentence = display_update_error(error);
  const std::string_view text = sentence;
  std::string line;
  line.reserve(text.size());
  std::size_t pos = 0;
  std::size_t word_start = 0;
  bool in_word = false;
  auto end_word = [&](std::size_t end) {
    if (!line.empty()) line.push_back(' ');
    line.append(text.substr(word_start, end - word_start));
  };
  while (pos < text.size()) {
    const std::size_t at = pos;
    const bool space = platform::is_unicode_whitespace(platform::next_code_point(text, pos));
    if (space && in_word) {
      end_word(at);
      in_word = false;
    } else if (!space && !in_word) {
      word_start = at;
      in_word = true;
    }
  }
  if (in_word) end_word(text.size());
  return line;
}

UpdateError io_error_at(const platform::Path& path, const platform::IoError& error) {
  return {UpdateError::Io{platform::display(path), error.text()}};
}

UpdateError map_fetch_error(std::string context, fetch::FetchError error) {
  if (error.is<fetch::FetchError::Cancelled>()) return {UpdateError::Cancelled{}};
  return {UpdateError::Unreachable{std::move(context), fetch::format_fetch_error(error)}};
}

}  // namespace update
