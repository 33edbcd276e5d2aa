#include "platform/win/held_retry.hpp"

#include <array>
#include <atomic>

namespace platform::win {

namespace {

// The waits between tries: a second in all, short at first, when a scanner
// most often lets go.
constexpr std::array<DWORD, 7> kWaitsMs = {10, 20, 40, 80, 160, 320, 370};

std::atomic<unsigned long> waits_made{0};

}  // namespace

bool held_by_another(DWORD code) { return code == ERROR_SHARING_VIOLATION || code == ERROR_LOCK_VIOLATION; }

BOOL retry_while_held(const std::function<BOOL()>& call, const std::function<bool(DWORD)>& may_pass) {
  for (std::size_t tries = 0;; ++tries) {
    if (call()) return TRUE;
    const DWORD code = ::GetLastError();
    if (tries == kWaitsMs.size() || !may_pass(code)) {
      ::SetLastError(code);
      return FALSE;
    }
    waits_made.fetch_add(1, std::memory_order_relaxed);
    ::Sleep(kWaitsMs[tries]);
  }
}

unsigned long held_retry_waits() { return waits_made.load(std::memory_order_relaxed); }

}  // namespace platform::win
