// BCryptGenRandom for the static OpenSSL of the Windows build, whose seed
// source calls BCryptGenRandom(NULL, buffer, size,
// BCRYPT_USE_SYSTEM_PREFERRED_RNG) (scripts/windows-deps builds it so). The
// program imports no bcrypt.dll, which Windows would look for beside the
// program first: this definition takes the call instead and answers it from
// the layer's system random source, which loads bcrypt.dll from the system
// folder and falls back on SystemFunction036. It is linked wherever OpenSSL
// is (cmake/WindowsDeps.cmake).
#include <windows.h>

#include <bcrypt.h>

#include "platform/system_random.hpp"

namespace {

// STATUS_SUCCESS, STATUS_UNSUCCESSFUL and STATUS_INVALID_PARAMETER.
constexpr NTSTATUS kSuccess = 0;
constexpr NTSTATUS kUnsuccessful = static_cast<NTSTATUS>(0xC0000001);
constexpr NTSTATUS kInvalidParameter = static_cast<NTSTATUS>(0xC000000D);

}  // namespace

extern "C" NTSTATUS WINAPI BCryptGenRandom(BCRYPT_ALG_HANDLE algorithm, PUCHAR buffer, ULONG size, ULONG flags) {
  // Only the call that OpenSSL makes: the system-preferred generator.
  if (algorithm != nullptr || flags != BCRYPT_USE_SYSTEM_PREFERRED_RNG || (buffer == nullptr && size != 0)) {
    return kInvalidParameter;
  }
  return platform::fill_system_random({buffer, size}) ? kSuccess : kUnsuccessful;
}
