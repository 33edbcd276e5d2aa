// A stand-in for the WebView2 loader, for the tests of where the window layer
// looks for it: loaded, it creates the file that MORVANE_TEST_LOADER_MARK
// names; its one export answers E_FAIL to whoever calls it.
#include <windows.h>

extern "C" __declspec(dllexport) HRESULT CreateCoreWebView2EnvironmentWithOptions(void*, void*, void*, void*) {
  return E_FAIL;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason != DLL_PROCESS_ATTACH) return TRUE;
  wchar_t mark[MAX_PATH] = {};
  const DWORD length = ::GetEnvironmentVariableW(L"MORVANE_TEST_LOADER_MARK", mark, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return TRUE;
  HANDLE file = ::CreateFileW(mark, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file != INVALID_HANDLE_VALUE) ::CloseHandle(file);
  return TRUE;
}
