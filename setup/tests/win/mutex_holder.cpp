#include "setup/tests/mutex_holder.hpp"

#include <windows.h>

#include "platform/text.hpp"

namespace setup_test {

MutexHolder::MutexHolder(const platform::Path&, const std::string& name) {
  const std::u16string wide = platform::to_wide(name);
  HANDLE mutex = ::CreateMutexW(nullptr, FALSE, reinterpret_cast<const wchar_t*>(wide.c_str()));
  claimed_ = mutex != nullptr && ::GetLastError() != ERROR_ALREADY_EXISTS;
  if (mutex != nullptr) holder_ = reinterpret_cast<std::intptr_t>(mutex);
}

bool MutexHolder::holding() const { return claimed_ && holder_ != -1; }

void MutexHolder::release() {
  if (holder_ != -1) ::CloseHandle(reinterpret_cast<HANDLE>(holder_));
  holder_ = -1;
}

}  // namespace setup_test
