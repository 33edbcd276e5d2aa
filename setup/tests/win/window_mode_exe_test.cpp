// The real morvane-setup.exe with no option, as a user starts it from the
// Downloads folder, under Wine on a display of the test's own (with_xvfb.sh,
// wine-display.sh): the splash, the hidden main window, the final box that a
// run without a web view ends in, a second setup program refused, the theme
// read from the registry, the web view's data folder handed to cmd when it
// cannot be removed at once, and the uninstall's box with the folder removed
// after it. The test reads and answers the boxes as a
// user would, through the windows on the screen. These tests use the release
// host's compiled-in port: one at a time.
#include <winsock2.h>
#include <windows.h>

#include <functional>
#include <map>
#include <stdexcept>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/env.hpp"
#include "platform/fs.hpp"
#include "platform/process.hpp"
#include "platform/tests/win/desktop.hpp"
#include "platform/win/wide.hpp"
#include "setup/tests/disk_views.hpp"
#include "setup/tests/user_profile.hpp"
#include "setup/tests/win/planted_dlls.hpp"

namespace setup_test {
namespace {

using namespace std::chrono_literals;
using platform_test::Box;
using platform_test::find_box;
using platform_test::linux_path;
using platform_test::press;
using platform_test::Screen;
using platform_test::wait_for;
using platform_test::Window;
using platform_test::windows_of_process;

constexpr std::int64_t kIssued = 1'700'000'000'000;
const std::string kFailureCaption = "Morvane \u2014 not done";

int display_dpi() {
  const auto dpi = platform::env_var("MORVANE_TEST_DPI");
  return dpi ? std::stoi(*dpi) : 96;
}

// The environment of this process (the display's among it) with the
// profile's variables in place, as a block for CreateProcessW.
std::wstring environment_with(const std::map<std::string, std::string>& changes) {
  std::map<std::wstring, std::wstring> variables;
  wchar_t* block = ::GetEnvironmentStringsW();
  for (const wchar_t* entry = block; *entry != L'\0'; entry += std::wcslen(entry) + 1) {
    const std::wstring text(entry);
    const std::size_t equals = text.find(L'=', 1);
    if (equals != std::wstring::npos) variables[text.substr(0, equals)] = text.substr(equals + 1);
  }
  ::FreeEnvironmentStringsW(block);
  for (const auto& [name, value] : changes) variables[platform::win::wide(name)] = platform::win::wide(value);
  std::wstring result;
  for (const auto& [name, value] : variables) result += name + L"=" + value + L'\0';
  return result + L'\0';
}

// One run of the setup program that the test watches and answers while it
// runs (run_exe waits for its end), ended when the object goes if it still
// runs.
class SetupRun {
 public:
  SetupRun(const platform::Path& exe, const std::map<std::string, std::string>& env, const std::wstring& args = L"") {
    std::wstring command = L"\"" + exe.native() + L"\"";
    if (!args.empty()) command += L" " + args;
    std::wstring block = environment_with(env);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    if (!::CreateProcessW(exe.c_str(), command.data(), nullptr, nullptr, FALSE, CREATE_UNICODE_ENVIRONMENT,
                          block.data(), exe.parent_path().c_str(), &startup, &info_)) {
      throw std::runtime_error("cannot start " + platform::display(exe));
    }
    ::CloseHandle(info_.hThread);
  }
  ~SetupRun() {
    if (::WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT) {
      ::TerminateProcess(info_.hProcess, 99);
      ::WaitForSingleObject(info_.hProcess, 10000);
    }
    ::CloseHandle(info_.hProcess);
  }
  SetupRun(const SetupRun&) = delete;
  SetupRun& operator=(const SetupRun&) = delete;

  DWORD id() const { return info_.dwProcessId; }

  // The exit code, or none when it still runs after `limit`.
  std::optional<DWORD> wait(std::chrono::milliseconds limit) const {
    if (::WaitForSingleObject(info_.hProcess, static_cast<DWORD>(limit.count())) != WAIT_OBJECT_0) return std::nullopt;
    DWORD code = 0;
    ::GetExitCodeProcess(info_.hProcess, &code);
    return code;
  }

  std::vector<Window> windows() const { return windows_of_process(id()); }

  std::optional<Window> window_of_class(const std::string& class_name, std::chrono::milliseconds limit) const {
    return wait_for<Window>(limit, [&]() -> std::optional<Window> {
      for (const Window& window : windows()) {
        if (window.class_name == class_name) return window;
      }
      return std::nullopt;
    });
  }

  std::optional<Box> box(std::chrono::milliseconds limit) const {
    return wait_for<Box>(limit, [&] { return find_box(windows()); });
  }

 private:
  PROCESS_INFORMATION info_{};
};

// A server on the release host's port that takes connections and never
// answers, so that a run stays at its start for as long as it is open;
// closing it fails the run's request at once.
class SilentHost {
 public:
  SilentHost() {
    WSADATA data;
    ::WSAStartup(MAKEWORD(2, 2), &data);
    socket_ = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = ::htons(configured_release_port());
    address.sin_addr.s_addr = ::htonl(INADDR_LOOPBACK);
    if (::bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(socket_, 16) != 0) {
      throw std::runtime_error("cannot listen on the release host's port");
    }
  }
  ~SilentHost() {
    close();
    ::WSACleanup();
  }
  SilentHost(const SilentHost&) = delete;
  SilentHost& operator=(const SilentHost&) = delete;

  void close() {
    if (socket_ != INVALID_SOCKET) ::closesocket(std::exchange(socket_, INVALID_SOCKET));
  }

 private:
  SOCKET socket_ = INVALID_SOCKET;
};

bool reddish(platform::Colour c) { return c.red > 160 && c.green < 90 && c.blue < 90; }
bool bluish(platform::Colour c) { return c.blue > 160 && c.red < 110; }

// Where a box shows its icon: at its left, below its caption (which is blue
// itself when the box is active).
RECT icon_area(const Box& box) {
  const int height = box.rect.bottom - box.rect.top;
  return RECT{box.rect.left, box.rect.top + height / 3, box.rect.left + 80 * display_dpi() / 96,
              box.rect.bottom - height / 4};
}

// Painted once some pixel of `area` is of that kind.
std::function<bool(const Screen&)> has_in(RECT area, bool (*kind)(platform::Colour)) {
  return [area, kind](const Screen& screen) { return screen.count(area, kind) > 0; };
}

class WindowModeUnderWine : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!platform::env_var("MORVANE_TEST_FRAMEBUFFER")) GTEST_SKIP() << "needs a display: ctest runs this under with_xvfb.sh";
    // Window rectangles in the screen's own pixels, as the framebuffer has them.
    ::SetThreadDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
    // The pointer, which the X server draws into the screen, out of the way.
    ::SetCursorPos(0, 0);
    ASSERT_TRUE(platform::create_dirs(downloads));
    ASSERT_TRUE(::CopyFileW(linux_path(MORVANE_SETUP_EXE).c_str(), setup_exe.c_str(), FALSE));
  }

  SetupRun start() const { return SetupRun(setup_exe, user.env()); }

  // The screen once `painted` holds for it (or as it is after 10 seconds),
  // kept as <name>-<dpi> when screenshots are asked for.
  Screen screenshot(const std::string& name, const std::function<bool(const Screen&)>& painted) const {
    const auto end = std::chrono::steady_clock::now() + 10s;
    Screen screen = Screen::grab();
    while (!painted(screen) && std::chrono::steady_clock::now() < end) {
      ::Sleep(50);
      screen = Screen::grab();
    }
    screen.keep(name + "-" + std::to_string(display_dpi()));
    return screen;
  }

  void set_theme(std::optional<int> apps_use_light_theme) const {
    const std::string key = "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize";
    auto done = apps_use_light_theme
                    ? platform::run_hidden("reg", {"add", key, "/v", "AppsUseLightTheme", "/t", "REG_DWORD", "/d",
                                                   std::to_string(*apps_use_light_theme), "/f"})
                    : platform::run_hidden("reg", {"delete", key, "/v", "AppsUseLightTheme", "/f"});
    ASSERT_TRUE(done);
  }

  platform::Path data_folder(DWORD process_id) const {
    return user.tmp / ("morvane-setup-" + std::to_string(process_id));
  }

  UserProfile user;
  platform::Path downloads = user.root / "Downloads";
  platform::Path setup_exe = downloads / "morvane-setup.exe";
};

TEST_F(WindowModeUnderWine, InstallsWithTheSplashThenTheFinalBoxAndEndsWithExitZero) {
  const testkit::Release release = quick_release("1.4.0", kIssued);
  LocalChannel channel;
  channel.publish(release);
  const SetupRun run = start();

  const auto splash = run.window_of_class("Static", 20s);
  ASSERT_TRUE(splash) << "no splash";
  EXPECT_TRUE(splash->visible);
  const auto light = [](platform::Colour c) { return c.red > 200 && c.green > 200 && c.blue > 200; };
  const Screen shown = screenshot("splash", [&](const Screen& screen) { return screen.count(splash->rect, light) > 0; });
  EXPECT_GT(shown.count(splash->rect, light), 0) << "the splash is not on the screen";

  const auto main = run.window_of_class("MorvaneSetupPage", 5s);
  ASSERT_TRUE(main) << "no main window";
  EXPECT_FALSE(main->visible) << "the main window stays hidden without a page";
  EXPECT_EQ(main->text, "Morvane Setup");
  EXPECT_EQ(main->rect.right - main->rect.left, 880 * display_dpi() / 96);
  EXPECT_EQ(main->rect.bottom - main->rect.top, 540 * display_dpi() / 96);

  const auto box = run.box(120s);
  ASSERT_TRUE(box) << "no final box; the run ended with " << run.wait(0ms).value_or(259);
  EXPECT_EQ(box->caption, "Morvane");
  EXPECT_EQ(box->text, "Morvane 1.4.0 is installed. Open it from the Start menu or the desktop.");
  EXPECT_EQ(box->buttons, std::vector<std::string>{"OK"});
  EXPECT_EQ(box->owner, nullptr);
  const Screen boxed = screenshot("installed-box", has_in(icon_area(*box), bluish));
  EXPECT_GT(boxed.count(icon_area(*box), bluish), 0) << "no information icon";
  EXPECT_EQ(boxed.count(icon_area(*box), reddish), 0);
  for (const Window& window : run.windows()) {
    EXPECT_NE(window.class_name, "Static") << "the splash is still there behind the box";
    EXPECT_NE(window.class_name, "MorvaneSetupPage");
  }

  press(*box, IDOK);
  EXPECT_EQ(run.wait(30s), 0u);
  EXPECT_EQ(user.differences_from(release), "");
  EXPECT_TRUE(platform::exists(user.install / "uninstall.exe"));
  EXPECT_TRUE(platform::exists(user.desktop_link));
  EXPECT_FALSE(platform::exists(data_folder(run.id())));
}

// Any site can drop files into Downloads: with DLLs planted beside it, window
// mode installs through its splash, its main window and its final box and
// loads none of them.
TEST_F(WindowModeUnderWine, LoadsNoDllPlantedBesideItInDownloads) {
  const platform::Path marks = user.root / "dll-marks";
  ASSERT_TRUE(platform::create_dirs(marks));
  plant_dlls(downloads);
  const testkit::Release release = quick_release("1.4.0", kIssued);
  LocalChannel channel;
  channel.publish(release);
  auto env = user.env();
  env[planted_dll_marks_variable] = platform::display(marks);
  {
    const SetupRun run(setup_exe, env);
    EXPECT_TRUE(run.window_of_class("MorvaneSetupPage", 20s)) << "no main window";
    const auto box = run.box(120s);
    EXPECT_TRUE(box) << "no final box; the run ended with " << run.wait(0ms).value_or(259);
    if (box) {
      EXPECT_EQ(box->text, "Morvane 1.4.0 is installed. Open it from the Start menu or the desktop.");
      press(*box, IDOK);
      EXPECT_EQ(run.wait(30s), 0u);
    }
  }
  EXPECT_THAT(loaded_planted_dlls(marks), ::testing::IsEmpty());
}

TEST_F(WindowModeUnderWine, ASecondSetupProgramSaysTheInstallerIsAlreadyRunningAndEndsWithExitOne) {
  // No channel: the first run fails and waits in its final box, still
  // holding the setup mutex.
  const SetupRun first = start();
  const auto failed = first.box(120s);
  ASSERT_TRUE(failed) << "no final box";
  EXPECT_EQ(failed->caption, kFailureCaption);
  EXPECT_EQ(failed->text,
            "Morvane's download server could not be reached. Check this computer's connection and run the "
            "installer again.");
  const Screen failure = screenshot("failed-box", has_in(icon_area(*failed), reddish));
  EXPECT_GT(failure.count(icon_area(*failed), reddish), 0) << "no error icon";

  const SetupRun second = start();
  const auto refused = second.box(30s);
  ASSERT_TRUE(refused) << "no box from the second setup program";
  EXPECT_EQ(refused->caption, kFailureCaption);
  EXPECT_EQ(refused->text, "The Morvane installer is already running.");
  EXPECT_EQ(refused->buttons, std::vector<std::string>{"OK"});
  EXPECT_EQ(refused->owner, nullptr);
  const Screen already = screenshot("already-running-box", has_in(icon_area(*refused), reddish));
  EXPECT_GT(already.count(icon_area(*refused), reddish), 0) << "no error icon";
  for (const Window& window : second.windows()) {
    EXPECT_NE(window.class_name, "Static") << "a refused start shows no splash";
  }
  press(*refused, IDOK);
  EXPECT_EQ(second.wait(30s), 1u);

  press(*failed, IDOK);
  EXPECT_EQ(first.wait(30s), 1u);
  EXPECT_FALSE(platform::exists(user.install));
}

TEST_F(WindowModeUnderWine, TheMainWindowIsPaintedInTheAppThemeThatTheRegistryGives) {
  const struct {
    std::optional<int> value;
    platform::Colour background;
  } cases[] = {
      {0, {0x0A, 0x06, 0x18}},
      {1, {0xFB, 0xF8, 0xF1}},
      {std::nullopt, {0xFB, 0xF8, 0xF1}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value ? std::to_string(*c.value) : "no value");
    set_theme(c.value);
    SilentHost host;
    const SetupRun run = start();
    const auto main = run.window_of_class("MorvaneSetupPage", 20s);
    ASSERT_TRUE(main) << "no main window";
    // Shown by the test, since without a page the program keeps it hidden:
    // what it shows then is its class's background.
    ::ShowWindow(main->handle, SW_SHOWNOACTIVATE);
    const RECT inner{main->rect.left + 20, main->rect.top + 20, main->rect.right - 20, main->rect.bottom - 20};
    const int area = (inner.right - inner.left) * (inner.bottom - inner.top);
    const auto background = [&](platform::Colour p) { return p == c.background; };
    const Screen screen = screenshot(c.value ? "theme-" + std::to_string(*c.value) : "theme-none",
                                     [&](const Screen& now) { return now.count(inner, background) == area; });
    EXPECT_EQ(screen.count(inner, background), area);

    host.close();
    const auto box = run.box(60s);
    ASSERT_TRUE(box) << "no final box";
    EXPECT_EQ(box->caption, kFailureCaption);
    press(*box, IDOK);
    EXPECT_EQ(run.wait(30s), 1u);
  }
}

// A run whose web view's data folder cannot be removed when the window
// closes, since the test holds a file in it: cmd removes it after the run.
void expect_data_folder_removed_after_the_run(const platform::Path& setup_exe, const UserProfile& profile) {
  SilentHost host;  // the run waits at its start while the test holds a file in its data folder
  const SetupRun run(setup_exe, profile.env());
  ASSERT_TRUE(run.window_of_class("MorvaneSetupPage", 20s)) << "no main window";
  const platform::Path folder = profile.tmp / ("morvane-setup-" + std::to_string(run.id()));
  ASSERT_TRUE(platform::create_dirs(folder));
  // Open without FILE_SHARE_DELETE: nothing can remove it while it is open.
  HANDLE held = ::CreateFileW((folder / "held").c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);

  host.close();
  const auto box = run.box(60s);
  const bool there_at_the_box = platform::exists(folder);
  ::CloseHandle(held);
  ASSERT_TRUE(box) << "no final box";
  EXPECT_TRUE(there_at_the_box) << "the folder went although a file in it was open";
  press(*box, IDOK);
  EXPECT_EQ(run.wait(30s), 1u);
  const auto gone = wait_for<bool>(20s, [&]() -> std::optional<bool> {
    if (platform::exists(folder)) return std::nullopt;
    return true;
  });
  EXPECT_TRUE(gone) << "cmd did not remove " << platform::display(folder);
}

TEST_F(WindowModeUnderWine, ADataFolderThatCannotBeRemovedAtOnceIsRemovedByCmdAfterTheRun) {
  expect_data_folder_removed_after_the_run(setup_exe, user);
}

TEST_F(WindowModeUnderWine, ADataFolderInATemporaryFolderWhosePathNamesAVariableIsRemovedToo) {
  // cmd would expand the %TEMP% of the path in its text, even between
  // quotes (and Wine's cmd, unlike Windows', would expand it again in a
  // variable's value): the removal never puts the path there.
  const UserProfile odd("p%TEMP%q");
  ASSERT_NE(platform::display(odd.tmp).find("%TEMP%"), std::string::npos);
  expect_data_folder_removed_after_the_run(setup_exe, odd);
}

TEST_F(WindowModeUnderWine, AnUninstallWhoseBoxStaysOpenEndsWithItsFolderGone) {
  // The uninstall from the entry that Windows' list of programs runs: no
  // --quiet, so it ends in its box. uninstall.exe cannot be removed while it
  // runs, and the user may take a while to answer.
  LocalChannel channel;
  channel.publish(quick_release("1.4.0", kIssued));
  const ExeRun installed = user.quiet_install();
  ASSERT_EQ(installed.exit_code, 0) << read_text(user.temp_log()) << read_text(user.setup_log);

  const SetupRun run(user.install / "uninstall.exe", user.env(), L"--uninstall");
  const auto box = run.box(60s);
  ASSERT_TRUE(box) << "no final box; the run ended with " << run.wait(0ms).value_or(259);
  EXPECT_EQ(box->caption, "Morvane");
  EXPECT_EQ(box->text,
            "Morvane is removed. Your data is kept in %LOCALAPPDATA%\\MORVANE and is there if it is installed again.");
  EXPECT_EQ(box->buttons, std::vector<std::string>{"OK"});
  // The folder went before the box, though the uninstaller was started in
  // it; at most the running uninstaller's own file waits in its parent.
  EXPECT_FALSE(platform::exists(user.install)) << ::testing::PrintToString(sorted_entries(user.install));
  ::Sleep(8000);
  for (const std::string& name : sorted_entries(user.local / "Programs")) {
    EXPECT_EQ(name, "morvane-uninstall-" + std::to_string(run.id()) + ".exe");
  }
  press(*box, IDOK);
  EXPECT_EQ(run.wait(30s), 0u);
  const auto gone = wait_for<bool>(20s, [&]() -> std::optional<bool> {
    if (!sorted_entries(user.local / "Programs").empty()) return std::nullopt;
    return true;
  });
  EXPECT_TRUE(gone) << "left behind: " << ::testing::PrintToString(sorted_entries(user.local / "Programs"));
  EXPECT_FALSE(platform::exists(user.desktop_link));
}

TEST_F(WindowModeUnderWine, AnInstallRightAfterTheUninstallsBoxIsAnsweredIsWholeLongAfter) {
  // "Reinstall to fix it": the box answered, the installer at once.
  LocalChannel channel;
  const testkit::Release release = quick_release("1.4.0", kIssued);
  channel.publish(release);
  ASSERT_EQ(user.quiet_install().exit_code, 0) << read_text(user.temp_log()) << read_text(user.setup_log);
  {
    const SetupRun run(user.install / "uninstall.exe", user.env(), L"--uninstall");
    const auto box = run.box(60s);
    ASSERT_TRUE(box) << "no final box; the run ended with " << run.wait(0ms).value_or(259);
    press(*box, IDOK);
    ASSERT_EQ(run.wait(30s), 0u);
  }
  const ExeRun installed = user.quiet_install();
  ASSERT_EQ(installed.exit_code, 0) << read_text(user.temp_log()) << read_text(user.setup_log);
  ::Sleep(15000);
  EXPECT_EQ(sorted_entries(user.local / "Programs"), std::vector<std::string>{"MORVANE"});
  EXPECT_EQ(user.differences_from(release), "");
  EXPECT_TRUE(platform::is_regular_file(user.install / "uninstall.exe"));
  EXPECT_TRUE(platform::is_regular_file(user.desktop_link));
}

}  // namespace
}  // namespace setup_test
