// Feeds arbitrary bytes to the manifest reader, and to a small record with
// enumerations and lists that exercises the rest of the reader. Whatever
// reads must write and read back to the same value, and every refusal must
// carry a position inside the input.
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/bytes.hpp"
#include "update/json/json_codec.hpp"
#include "update/records/manifest.hpp"
#include "update/records/manifest_tables.hpp"

namespace {

enum class Mode { Fast, Safe, Slow };

struct Step {
  Mode mode = Mode::Fast;
  std::optional<std::string> label;
  std::int64_t at = 0;
  bool operator==(const Step&) const = default;
};

struct Plan {
  std::vector<Step> steps;
  std::optional<Step> fallback;
  std::uint64_t count = 0;
  bool operator==(const Plan&) const = default;
};

}  // namespace

namespace update::json {

template <>
struct Variants<Mode> {
  static constexpr std::array<std::string_view, 3> names = {"fast", "safe", "slow"};
};

template <>
struct Table<Step> {
  static constexpr std::string_view name = "Step";
  static constexpr std::array fields = {
      field<&Step::mode>("mode"),
      field<&Step::label>("label"),
      field<&Step::at>("at"),
  };
};

template <>
struct Table<Plan> {
  static constexpr std::string_view name = "Plan";
  static constexpr std::array fields = {
      defaulted_field<&Plan::steps>("steps"),
      field<&Plan::fallback>("fallback"),
      field<&Plan::count>("count"),
  };
};

}  // namespace update::json

namespace {

template <class T>
void check(platform::ByteView input) {
  const auto parsed = update::json::parse_json<T>(input);
  if (!parsed) {
    const auto& error = parsed.error();
    if (!error.has_position() || error.column > input.size()) std::abort();
    return;
  }
  const auto text = update::json::to_json(*parsed);
  if (!text) std::abort();
  const auto again = update::json::parse_json<T>(platform::byte_view(*text));
  if (!again || !(*again == *parsed)) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const platform::ByteView input(data, size);
  check<update::ReleaseManifest>(input);
  check<Plan>(input);
  return 0;
}
