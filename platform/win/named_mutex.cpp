#include "platform/named_mutex.hpp"

#include "platform/win/wide.hpp"

namespace platform {

bool claim_named_mutex(std::string_view name) {
  HANDLE handle = ::CreateMutexW(nullptr, FALSE, win::wide(name).c_str());
  const DWORD error = ::GetLastError();
  if (handle == nullptr) return false;
  if (error == ERROR_ALREADY_EXISTS) {
    ::CloseHandle(handle);
    return false;
  }
  // Never closed: the name stays this process's until it ends.
  return true;
}

bool named_mutex_exists(std::string_view name) {
  win::Handle handle(::OpenMutexW(SYNCHRONIZE, FALSE, win::wide(name).c_str()));
  return static_cast<bool>(handle);
}

}  // namespace platform
