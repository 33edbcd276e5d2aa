// The updater's error: one of fourteen variants, each carrying the texts and
// numbers its sentence needs, displayed as one English sentence.
#pragma once

#include <cstdint>
#include <string>
#include <variant>

#include "fetch/error.hpp"
#include "platform/io_error.hpp"
#include "platform/one_of.hpp"
#include "platform/path.hpp"

namespace update {

// The alternatives of an UpdateError, which holds one of them.
struct UpdateErrorCases {
  // The manifest came without a signature.
  struct NoSignature {
    std::string url;
    bool operator==(const NoSignature&) const = default;
  };
  // The signature has the wrong length.
  struct NotEd25519 {
    std::string url;
    std::uint64_t length = 0;
    std::uint64_t expected = 0;
    bool operator==(const NotEd25519&) const = default;
  };
  // No pinned key accepts the signature.
  struct SignatureFailure {
    std::string url;
    bool operator==(const SignatureFailure&) const = default;
  };
  // The manifest names a signing key that is not pinned.
  struct UnpinnedKey {
    std::string url;
    std::string key_id;
    bool operator==(const UnpinnedKey&) const = default;
  };
  // The manifest cannot be read or breaks a rule.
  struct Unusable {
    std::string url;
    std::string reason;
    bool operator==(const Unusable&) const = default;
  };
  // The manifest is for another product or channel.
  struct WrongProduct {
    std::string url;
    std::string product;
    std::string channel;
    std::string expected_product;
    std::string expected_channel;
    bool operator==(const WrongProduct&) const = default;
  };
  // The manifest is older than the newest one ever verified.
  struct Replay {
    std::string url;
    std::int64_t issued_at_ms = 0;
    std::int64_t high_water_ms = 0;
    bool operator==(const Replay&) const = default;
  };
  // A file's SHA-256 is not the signed one, or a delta or xz stream was
  // refused (the refusal's texts then stand in `expected` and `got`).
  struct HashMismatch {
    std::string name;
    std::string expected;
    std::string got;
    bool operator==(const HashMismatch&) const = default;
  };
  // A file's size is not the signed one.
  struct SizeMismatch {
    std::string name;
    std::uint64_t expected = 0;
    std::uint64_t actual = 0;
    bool operator==(const SizeMismatch&) const = default;
  };
  // A file of the staged release is missing.
  struct Incomplete {
    std::string name;
    bool operator==(const Incomplete&) const = default;
  };
  // A download failed; `message` is the fetch error's sentence.
  struct Unreachable {
    std::string context;
    std::string message;
    bool operator==(const Unreachable&) const = default;
  };
  // The user stopped the work.
  struct Cancelled {
    bool operator==(const Cancelled&) const = default;
  };
  // A file or folder operation failed: the path as displayed and the system
  // error's display text.
  struct Io {
    std::string at;
    std::string message;
    bool operator==(const Io&) const = default;
  };
  // The swap journal names a path outside the updater's folders, or cannot
  // be read.
  struct OutsideWriteSet {
    std::string journal;
    std::string path;
    std::string write_set;
    bool operator==(const OutsideWriteSet&) const = default;
  };

  std::variant<NoSignature, NotEd25519, SignatureFailure, UnpinnedKey, Unusable, WrongProduct,
               Replay, HashMismatch, SizeMismatch, Incomplete, Unreachable, Cancelled, Io,
               OutsideWriteSet>
      value;

  bool operator==(const UpdateErrorCases&) const = default;
};
using UpdateError = platform::OneOf<UpdateErrorCases>;

// The display sentence of the error.
std::string display_update_error(const UpdateError& error);

// The display sentence on one line: its words (split at every run of Unicode
// white space) joined by single blanks, nothing at either end.
std::string error_one_line(const UpdateError& error);

// UpdateError::Io naming the path, with the error's display text.
UpdateError io_error_at(const platform::Path& path, const platform::IoError& error);

// A cancelled fetch becomes UpdateError::Cancelled; any other fetch error
// becomes UpdateError::Unreachable with the context (what was being fetched)
// and the fetch error's sentence.
UpdateError map_fetch_error(std::string context, fetch::FetchError error);

}  // namespace update
