// The version resource through version.dll's GetFileVersionInfoSizeW,
// GetFileVersionInfoW and VerQueryValueW. version.dll is loaded from the
// system folder at the first call rather than imported, so that a DLL of
// that name beside the program is never the one loaded.
#include "platform/version_resource.hpp"

#include <vector>

#include "platform/win/long_path.hpp"
#include "platform/win/system_folder.hpp"

namespace platform {

namespace {

struct VersionDll {
  using GetSize = DWORD(WINAPI*)(LPCWSTR file, LPDWORD handle);
  using GetInfo = BOOL(WINAPI*)(LPCWSTR file, DWORD handle, DWORD length, LPVOID data);
  using Query = BOOL(WINAPI*)(LPCVOID block, LPCWSTR sub_block, LPVOID* buffer, PUINT length);

  GetSize get_size;
  GetInfo get_info;
  Query query;

  VersionDll()
      : get_size(win::system_function<GetSize>(L"version.dll", "GetFileVersionInfoSizeW")),
        get_info(win::system_function<GetInfo>(L"version.dll", "GetFileVersionInfoW")),
        query(win::system_function<Query>(L"version.dll", "VerQueryValueW")) {}

  bool loaded() const { return get_size != nullptr && get_info != nullptr && query != nullptr; }
};

const VersionDll& version_dll() {
  static const VersionDll dll;
  return dll;
}

}  // namespace

std::optional<Bytes> version_root_block(const Path& path) {
  const VersionDll& dll = version_dll();
  if (!dll.loaded()) return std::nullopt;
  const std::wstring file = win::long_path(path);
  DWORD ignored = 0;
  const DWORD size = dll.get_size(file.c_str(), &ignored);
  if (size == 0) return std::nullopt;
  std::vector<std::uint8_t> data(size);
  if (!dll.get_info(file.c_str(), 0, size, data.data())) return std::nullopt;
  void* block = nullptr;
  UINT length = 0;
  if (!dll.query(data.data(), L"\\", &block, &length)) return std::nullopt;
  const auto* bytes = static_cast<const std::uint8_t*>(block);
  return Bytes(bytes, bytes + length);
}

}  // namespace platform
