// The installed product running, on Windows: the product stand-in program,
// started with the installed morvane.exe's path, holds the product's mutex.
// (Test releases carry a morvane.exe that is a PE file with a version
// resource but no code to run.)
#include "setup/tests/user_profile.hpp"

#include <windows.h>

#include <chrono>
#include <stdexcept>
#include <thread>

#include "setup/common/install_paths.hpp"
#include "setup/tests/disk_views.hpp"
#include "testkit/release/product_standin.hpp"
#include "testkit/scoped_env.hpp"
#include "update/own_file_names.hpp"

namespace setup_test {

using namespace std::chrono_literals;

RunningInstalledProduct::RunningInstalledProduct(const UserProfile& user) {
  const platform::Path log = user.root / "product-standin.log";
  const platform::Path exe = user.install / update::exe_file_name;
  testkit::ScopedEnv log_env("MORVANE_PRODUCT_STANDIN_LOG", platform::display(log));
  testkit::ScopedEnv seconds_env("MORVANE_PRODUCT_SECONDS", "60");
  const platform::Path program = testkit::product_standin_program();
  std::wstring command = L"\"" + program.native() + L"\" \"" + exe.native() + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!::CreateProcessW(program.c_str(), command.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                        nullptr, &startup, &info)) {
    throw std::runtime_error("cannot start " + platform::display(program));
  }
  ::CloseHandle(info.hThread);
  process_ = reinterpret_cast<std::intptr_t>(info.hProcess);
  const auto deadline = std::chrono::steady_clock::now() + 10s;
  while ((started_ = read_text(log)).empty()) {
    if (::WaitForSingleObject(info.hProcess, 0) == WAIT_OBJECT_0 || std::chrono::steady_clock::now() > deadline) {
      ::TerminateProcess(info.hProcess, 1);
      ::CloseHandle(info.hProcess);
      process_ = -1;
      throw std::runtime_error("the installed product did not start: " + platform::display(exe));
    }
    std::this_thread::sleep_for(10ms);
  }
}

RunningInstalledProduct::~RunningInstalledProduct() {
  if (process_ == -1) return;
  const auto process = reinterpret_cast<HANDLE>(process_);
  ::TerminateProcess(process, 1);
  ::WaitForSingleObject(process, INFINITE);
  ::CloseHandle(process);
}

}  // namespace setup_test
