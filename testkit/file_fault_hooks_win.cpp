// MoveFileExW, DeleteFileW and RemoveDirectoryW as a Windows test binary that
// links this in sees them: the program's import table is pointed at the
// functions below before main runs, so that every move and removal the
// platform layer makes is first offered to the policy of
// file_fault_interpose.cpp ("rename", "unlink" and "remove"), then made by
// kernel32. A refused call fails with ERROR_IO_DEVICE, as a failing disk
// does (not as a file that another program holds for a moment, which the
// layer would try again). FlushFileBuffers is recorded once it succeeds,
// with the path of the file it flushed. Paths are recorded as the program
// names them, without the "\\?\" prefix of the long form.
#include <windows.h>

#include <cstring>
#include <string>

#include "platform/text.hpp"

extern "C" bool testkit_file_fault_admit(const char* what, const char* from, const char* to, bool write_through);
extern "C" void testkit_file_fault_synced(const char* path);

namespace {

using MoveFn = BOOL(WINAPI*)(LPCWSTR, LPCWSTR, DWORD);
using PathFn = BOOL(WINAPI*)(LPCWSTR);
using FlushFn = BOOL(WINAPI*)(HANDLE);

MoveFn real_move = nullptr;
PathFn real_delete = nullptr;
PathFn real_remove_directory = nullptr;
FlushFn real_flush = nullptr;

// The path in UTF-8, "\\?\C:\x" as "C:\x" and "\\?\UNC\server\x" as
// "\\server\x".
std::string utf8(LPCWSTR text) {
  if (text == nullptr) return {};
  std::wstring wide(text);
  if (wide.starts_with(L"\\\\?\\UNC\\")) {
    wide.erase(2, 6);
  } else if (wide.starts_with(L"\\\\?\\")) {
    wide.erase(0, 4);
  }
  return platform::from_wide(std::u16string(wide.begin(), wide.end()));
}

bool admit(const char* what, LPCWSTR from, LPCWSTR to, bool write_through = false) {
  const std::string from_text = utf8(from);
  const std::string to_text = utf8(to);
  if (testkit_file_fault_admit(what, from_text.c_str(), to != nullptr ? to_text.c_str() : nullptr, write_through)) {
    return true;
  }
  ::SetLastError(ERROR_IO_DEVICE);
  return false;
}

BOOL WINAPI hooked_move(LPCWSTR from, LPCWSTR to, DWORD flags) {
  return admit("rename", from, to, (flags & MOVEFILE_WRITE_THROUGH) != 0) ? real_move(from, to, flags) : FALSE;
}

BOOL WINAPI hooked_delete(LPCWSTR path) { return admit("unlink", path, nullptr) ? real_delete(path) : FALSE; }

BOOL WINAPI hooked_remove_directory(LPCWSTR path) {
  return admit("remove", path, nullptr) ? real_remove_directory(path) : FALSE;
}

BOOL WINAPI hooked_flush(HANDLE file) {
  if (!real_flush(file)) return FALSE;
  const DWORD saved = ::GetLastError();
  std::wstring path(1024, L'\0');
  const DWORD length = ::GetFinalPathNameByHandleW(file, path.data(), static_cast<DWORD>(path.size()),
                                                   FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  if (length > 0 && length < path.size()) {
    path.resize(length);
    testkit_file_fault_synced(utf8(path.c_str()).c_str());
  }
  ::SetLastError(saved);
  return TRUE;
}

// Points the main program's import of kernel32's `name` at `hook`; answers
// what it pointed at before.
void* patch_import(const char* name, void* hook) {
  auto* base = reinterpret_cast<std::uint8_t*>(::GetModuleHandleW(nullptr));
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  for (auto* module = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress); module->Name != 0;
       ++module) {
    if (_stricmp(reinterpret_cast<const char*>(base + module->Name), "kernel32.dll") != 0) continue;
    auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + module->OriginalFirstThunk);
    auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + module->FirstThunk);
    for (; names->u1.AddressOfData != 0; ++names, ++slots) {
      if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
      const auto* by_name = reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
      if (std::strcmp(reinterpret_cast<const char*>(by_name->Name), name) != 0) continue;
      DWORD protection = 0;
      ::VirtualProtect(&slots->u1.Function, sizeof(void*), PAGE_READWRITE, &protection);
      void* previous = reinterpret_cast<void*>(slots->u1.Function);
      slots->u1.Function = reinterpret_cast<ULONG_PTR>(hook);
      ::VirtualProtect(&slots->u1.Function, sizeof(void*), protection, &protection);
      return previous;
    }
  }
  return nullptr;
}

struct Hooks {
  Hooks() {
    real_move = reinterpret_cast<MoveFn>(patch_import("MoveFileExW", reinterpret_cast<void*>(&hooked_move)));
    real_delete = reinterpret_cast<PathFn>(patch_import("DeleteFileW", reinterpret_cast<void*>(&hooked_delete)));
    real_remove_directory = reinterpret_cast<PathFn>(
        patch_import("RemoveDirectoryW", reinterpret_cast<void*>(&hooked_remove_directory)));
    real_flush = reinterpret_cast<FlushFn>(patch_import("FlushFileBuffers", reinterpret_cast<void*>(&hooked_flush)));
  }
} hooks;

}  // namespace
