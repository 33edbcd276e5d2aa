#include "platform/process.hpp"

#include "platform/win/system_folder.hpp"

namespace platform {

namespace {

// user32's SetProcessDpiAwarenessContext (Windows 10, 1703 and later), when
// the system has it.
using SetAwarenessContext = BOOL(WINAPI*)(HANDLE context);

// DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2, which older headers lack.
const HANDLE kPerMonitorAwareV2 = reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-4));

}  // namespace

void prepare_process() {
  // A setup program runs from the user's downloads: nothing that lies beside
  // it may be loaded in place of a system DLL.
  ::SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
  ::SetDllDirectoryW(L"");

  // The program carries no manifest: it says at run time that it draws for
  // each monitor's DPI itself, with the older call where the newer one is
  // missing.
  if (HMODULE user32 = ::GetModuleHandleW(L"user32.dll")) {
    auto set_context = reinterpret_cast<SetAwarenessContext>(
        reinterpret_cast<void*>(::GetProcAddress(user32, "SetProcessDpiAwarenessContext")));
    if (set_context != nullptr && set_context(kPerMonitorAwareV2)) return;
  }
  ::SetProcessDPIAware();
}

}  // namespace platform
