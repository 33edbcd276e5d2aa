// The web engine: Microsoft Edge WebView2, reached through its loader
// WebView2Loader.dll and the loader's CreateCoreWebView2EnvironmentWithOptions.
//
// The loader is looked for in the system folder alone. The setup program is
// one executable that runs from wherever it was downloaded to: a DLL beside
// it is whatever else landed in that folder, and is never loaded.
//
// This build carries none of WebView2's interfaces, so even with the loader
// present the environment cannot be made here; either way window mode goes on
// without a page, with its splash and its final box.
#include <string>

#include "platform/owned_handle.hpp"
#include "platform/win/window_parts.hpp"

namespace platform::win_window {

namespace {

constexpr wchar_t kLoaderName[] = L"WebView2Loader.dll";
constexpr char kEntryName[] = "CreateCoreWebView2EnvironmentWithOptions";

// A loaded library, freed when the object goes.
struct LibraryTraits {
  using Value = HMODULE;
  static Value none() { return nullptr; }
  static bool is_open(Value module) { return module != nullptr; }
  static void close(Value module) noexcept { ::FreeLibrary(module); }
};
using Library = OwnedHandle<LibraryTraits>;

}  // namespace

WebEnvironmentResult open_web_environment(const Path&) {
  const Library loader(::LoadLibraryExW(kLoaderName, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32));
  if (loader.get() == nullptr) return tl::unexpected(std::string("the WebView2 loader is not installed"));
  if (::GetProcAddress(loader.get(), kEntryName) == nullptr) {
    return tl::unexpected(std::string("the WebView2 loader has no CreateCoreWebView2EnvironmentWithOptions"));
  }
  return tl::unexpected(std::string("this build of the setup program cannot drive WebView2"));
}

}  // namespace platform::win_window
