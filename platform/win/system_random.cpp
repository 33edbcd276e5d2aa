// The system random source: BCryptGenRandom with the system-preferred
// generator, and SystemFunction036 where it fails. bcrypt.dll is not one of
// the DLLs that Windows always takes from its own folder, so it is loaded
// from the system folder at run time rather than imported (a bcrypt.dll
// beside the program would be loaded in its place); advapi32 is.
#include "platform/system_random.hpp"

#include <windows.h>

#include <algorithm>
#include <limits>

#include "platform/win/random_sources.hpp"
#include "platform/win/system_folder.hpp"

namespace platform {

namespace win {

namespace {

using GenRandom = LONG(WINAPI*)(void* algorithm, PUCHAR buffer, ULONG size, ULONG flags);
using RtlGenRandom = BOOLEAN(WINAPI*)(PVOID buffer, ULONG size);

// BCRYPT_USE_SYSTEM_PREFERRED_RNG.
constexpr ULONG kSystemPreferred = 0x00000002;

// The most one call of either source takes.
constexpr std::size_t kLargestCall = std::numeric_limits<ULONG>::max();

}  // namespace

bool bcrypt_system_preferred_random(std::span<std::uint8_t> buffer) {
  static const auto generate = system_function<GenRandom>(L"bcrypt.dll", "BCryptGenRandom");
  if (generate == nullptr || buffer.size() > kLargestCall) return false;
  return generate(nullptr, buffer.data(), static_cast<ULONG>(buffer.size()), kSystemPreferred) == 0;  // STATUS_SUCCESS
}

bool rtl_gen_random(std::span<std::uint8_t> buffer) {
  static const auto generate = system_function<RtlGenRandom>(L"advapi32.dll", "SystemFunction036");
  if (generate == nullptr || buffer.size() > kLargestCall) return false;
  return generate(buffer.data(), static_cast<ULONG>(buffer.size())) != FALSE;
}

tl::expected<void, IoError> fill_random(std::span<std::uint8_t> buffer, const RandomSource& first,
                                        const RandomSource& fallback) {
  while (!buffer.empty()) {
    const auto part = buffer.first(std::min(buffer.size(), kLargestCall));
    if (!first(part) && !fallback(part)) {
      return tl::unexpected(IoError::custom(
          ErrorKind::Other, "the system's random source gives no bytes (BCryptGenRandom and SystemFunction036 failed)"));
    }
    buffer = buffer.subspan(part.size());
  }
  return {};
}

}  // namespace win

tl::expected<void, IoError> fill_system_random(std::span<std::uint8_t> buffer) {
  return win::fill_random(buffer, win::bcrypt_system_preferred_random, win::rtl_gen_random);
}

}  // namespace platform
