// A serialised record, or nothing when it could not be serialised.
#pragma once

#include <string>
#include <utility>

#include <tl/expected.hpp>

namespace update {

// The JSON text, or an empty text when the serialiser reported an error (the
// error is dropped).
template <class E>
std::string json_or_empty(const tl::expected<std::string, E>& json) {
  return json ? *json : std::string();
}

template <class E>
std::string json_or_empty(tl::expected<std::string, E>&& json) {
  return json ? std::move(*json) : std::string();
}

}  // namespace update
