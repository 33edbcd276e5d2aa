#include "setup/tests/win/planted_dlls.hpp"

#include <windows.h>

#include <stdexcept>

#include "platform/fs.hpp"
#include "platform/text.hpp"
#include "testkit/host_tools.hpp"

namespace setup_test {

const std::vector<std::string>& planted_dll_names() {
  static const std::vector<std::string> names = {
      // What the program itself loads at run time, from the system folder.
      "dwmapi.dll", "version.dll", "bcrypt.dll", "WebView2Loader.dll",
      // What its static libraries could ask for: OpenSSL's system libraries
      // and what bcrypt.dll itself loads.
      "crypt32.dll", "bcryptprimitives.dll", "ncrypt.dll", "msasn1.dll", "wintrust.dll", "rsaenh.dll",
      // What the system's DLLs beneath the imports load: Wine's own (its
      // loader looks for these beside the program at the start), then what
      // user32, gdi32, shell32, ole32, combase and ws2_32 load on Windows or
      // under Wine.
      "kernelbase.dll", "win32u.dll", "ucrtbase.dll", "zlib1.dll",
      "uxtheme.dll", "comctl32.dll", "msimg32.dll", "winmm.dll", "dwrite.dll", "textshaping.dll",
      "propsys.dll", "windows.storage.dll", "kernel.appcore.dll", "profapi.dll", "userenv.dll",
      "cryptbase.dll", "sspicli.dll", "secur32.dll", "ntmarta.dll", "wldp.dll", "cfgmgr32.dll",
      "devobj.dll", "powrprof.dll", "wtsapi32.dll", "winsta.dll", "apphelp.dll", "edputil.dll",
      "oleacc.dll", "uiautomationcore.dll", "actxprxy.dll", "dbghelp.dll",
      "mswsock.dll", "iphlpapi.dll", "dnsapi.dll", "dhcpcsvc.dll", "fwpuclnt.dll", "rasadhlp.dll",
      "winhttp.dll", "wininet.dll", "urlmon.dll", "netapi32.dll", "mpr.dll",
  };
  return names;
}

void plant_dlls(const platform::Path& folder) {
  const platform::Path planted = testkit::build_path(MORVANE_PLANTED_DLL);
  for (const std::string& name : planted_dll_names()) {
    const platform::Path copy = folder / name;
    if (!::CopyFileW(planted.c_str(), copy.c_str(), FALSE)) {
      throw std::runtime_error("cannot plant " + platform::display(copy));
    }
  }
}

std::vector<std::string> loaded_planted_dlls(const platform::Path& marks) {
  std::vector<std::string> loaded;
  const auto listed = platform::list_dir(marks);
  if (!listed) return {"(the marks folder cannot be listed: " + listed.error().text() + ")"};
  for (const std::string& name : listed->names) {
    const auto bytes = platform::read_file(marks / name);
    std::string by = bytes ? platform::to_string(*bytes) : std::string();
    while (!by.empty() && by.back() == '\n') by.pop_back();
    for (char& c : by) {
      if (c == '\n') c = ';';
    }
    loaded.push_back(name + ", loaded by " + by);
  }
  return loaded;
}

}  // namespace setup_test
