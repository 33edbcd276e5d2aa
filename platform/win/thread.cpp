#include "platform/thread.hpp"

#include <process.h>

#include <limits>
#include <memory>

#include "platform/win/wide.hpp"

namespace platform {

namespace {

// SetThreadDescription and GetThreadDescription are in kernel32 from
// Windows 10, 1607; looked up at run time, and left out where missing.
using SetDescription = HRESULT(WINAPI*)(HANDLE thread, PCWSTR description);
using GetDescription = HRESULT(WINAPI*)(HANDLE thread, PWSTR* description);

template <class F>
F kernel32_function(const char* name) {
  HMODULE kernel32 = ::GetModuleHandleW(L"kernel32.dll");
  if (kernel32 == nullptr) return nullptr;
  return reinterpret_cast<F>(reinterpret_cast<void*>(::GetProcAddress(kernel32, name)));
}

struct ThreadStart {
  std::string name;
  std::function<void()> body;
};

unsigned __stdcall thread_main(void* raw) {
  std::unique_ptr<ThreadStart> start(static_cast<ThreadStart*>(raw));
  if (auto set = kernel32_function<SetDescription>("SetThreadDescription")) {
    set(::GetCurrentThread(), win::wide(start->name).c_str());
  }
  start->body();
  return 0;
}

}  // namespace

tl::expected<void, IoError> spawn_detached_thread(const std::string& name, std::size_t stack_size,
                                                  std::function<void()> body) {
  auto start = std::make_unique<ThreadStart>(ThreadStart{name, std::move(body)});
  const std::uintptr_t thread = ::_beginthreadex(nullptr, static_cast<unsigned>(stack_size), thread_main, start.get(),
                                                 STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
  if (thread == 0) return tl::unexpected(IoError::from_os(static_cast<int>(::GetLastError())));
  start.release();  // the thread owns it now
  ::CloseHandle(reinterpret_cast<HANDLE>(thread));
  return {};
}

std::size_t thread_name_limit() { return std::numeric_limits<std::size_t>::max(); }

std::string current_thread_name() {
  auto get = kernel32_function<GetDescription>("GetThreadDescription");
  wchar_t* description = nullptr;
  if (get == nullptr || FAILED(get(::GetCurrentThread(), &description)) || description == nullptr) return {};
  std::string name = win::narrow(description);
  ::LocalFree(description);
  return name;
}

}  // namespace platform
