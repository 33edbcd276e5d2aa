// The Windows window layer under Wine, on a display of the test's own
// (with_xvfb.sh, wine-display.sh): the splash, the main window's class,
// style, size and place for the screen's DPI, the boxes and their owner, and
// where the web engine's loader is looked for (the loop's own cases, the
// timer inside a box's loop and a close from outside:
// ../window_layer_test.cpp).
#include <windows.h>
#include <objbase.h>

#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "platform/env.hpp"
#include "platform/fs.hpp"
#include "platform/message_box.hpp"
#include "platform/process.hpp"
#include "platform/win/wide.hpp"
#include "platform/window.hpp"
#include "platform/tests/win/desktop.hpp"
#include "platform/tests/window_layer_shared.hpp"

namespace platform_test {
namespace {

using namespace std::chrono_literals;

constexpr platform::Colour kDark{0x0A, 0x06, 0x18};
constexpr platform::Colour kLight{0xFB, 0xF8, 0xF1};

// The screen's dots per inch that wine-display.sh set for this run.
int expected_dpi() {
  const auto dpi = platform::env_var("MORVANE_TEST_DPI");
  return dpi ? std::stoi(*dpi) : 96;
}

HWND handle_of(platform::MainWindow& window) { return static_cast<HWND>(window.native_handle()); }

RECT work_area() {
  RECT work{};
  ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  return work;
}

class WinWindowLayer : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!platform::env_var("MORVANE_TEST_FRAMEBUFFER")) GTEST_SKIP() << "needs a display: ctest runs this under with_xvfb.sh";
    layer = platform::open_window_layer();
  }

  void run_for_at_most(std::chrono::milliseconds limit) { run_loop_for_at_most(*layer, limit); }

  std::vector<Window> mine() const { return windows_of_thread(::GetCurrentThreadId()); }

  // This thread's windows of a class (the system keeps windows of its own on
  // the thread too: the input method's, COM's).
  std::vector<Window> mine(const std::string& class_name) const {
    std::vector<Window> found;
    for (Window& window : mine()) {
      if (window.class_name == class_name) found.push_back(std::move(window));
    }
    return found;
  }

  std::unique_ptr<platform::WindowLayer> layer;
};

TEST_F(WinWindowLayer, TheUiThreadIsASingleThreadedApartmentAwareOfEachMonitorsDpi) {
  EXPECT_EQ(::CoInitializeEx(nullptr, COINIT_MULTITHREADED), RPC_E_CHANGED_MODE);
  EXPECT_EQ(::GetAwarenessFromDpiAwarenessContext(::GetThreadDpiAwarenessContext()), DPI_AWARENESS_PER_MONITOR_AWARE);
}

TEST_F(WinWindowLayer, TheSplashIsOneCentredLineInABorderedPopupThatCanChangeAndGoes) {
  auto splash = layer->show_splash("Starting the Morvane installer\u2026");
  ASSERT_TRUE(splash);
  auto shown = mine("Static");
  ASSERT_EQ(shown.size(), 1u);
  const Window& window = shown[0];
  EXPECT_EQ(window.class_name, "Static");
  EXPECT_EQ(window.text, "Starting the Morvane installer\u2026");
  EXPECT_TRUE(window.visible);
  const LONG wanted = WS_POPUP | WS_VISIBLE | WS_BORDER | SS_CENTERIMAGE | SS_CENTER;
  EXPECT_EQ(window.style & wanted, wanted);
  EXPECT_EQ(window.style & WS_DLGFRAME, 0) << "no caption";
  // Made DPI-unaware, so that the system scales it on a high-DPI screen: in
  // the coordinates of an unaware thread it is 460 by 90, centred on the
  // primary screen.
  EXPECT_TRUE(::AreDpiAwarenessContextsEqual(::GetWindowDpiAwarenessContext(window.handle),
                                             DPI_AWARENESS_CONTEXT_UNAWARE));
  const DPI_AWARENESS_CONTEXT before = ::SetThreadDpiAwarenessContext(DPI_AWARENESS_CONTEXT_UNAWARE);
  RECT rect{};
  ::GetWindowRect(window.handle, &rect);
  const int screen_width = ::GetSystemMetrics(SM_CXSCREEN);
  const int screen_height = ::GetSystemMetrics(SM_CYSCREEN);
  ::SetThreadDpiAwarenessContext(before);
  EXPECT_EQ(rect.right - rect.left, 460);
  EXPECT_EQ(rect.bottom - rect.top, 90);
  EXPECT_EQ(rect.left, (screen_width - 460) / 2);
  EXPECT_EQ(rect.top, (screen_height - 90) / 2);

  splash->set_text("Downloading Morvane 1.2.0 \u2014 1 of 3 MB");
  EXPECT_EQ(mine("Static").at(0).text, "Downloading Morvane 1.2.0 \u2014 1 of 3 MB");
  splash.reset();
  EXPECT_TRUE(mine("Static").empty());
}

TEST_F(WinWindowLayer, TheMainWindowIsAHiddenBorderlessPopupOfItsClassScaledForTheScreenAndCentred) {
  auto window = layer->create_main_window({"Morvane Setup", {880, 540}, kDark});
  ASSERT_TRUE(window);
  HWND handle = handle_of(*window);
  const auto found = mine("MorvaneSetupPage");
  ASSERT_EQ(found.size(), 1u);
  const Window& seen = found[0];
  EXPECT_EQ(seen.handle, handle);
  EXPECT_EQ(seen.text, "Morvane Setup");
  EXPECT_FALSE(seen.visible);
  EXPECT_EQ(seen.style & (WS_POPUP | WS_SYSMENU | WS_MINIMIZEBOX), WS_POPUP | WS_SYSMENU | WS_MINIMIZEBOX);
  EXPECT_EQ(seen.style & (WS_CAPTION | WS_THICKFRAME | WS_MAXIMIZEBOX), 0);
  EXPECT_NE(seen.ex_style & WS_EX_APPWINDOW, 0);
  EXPECT_EQ(::GetClassLongPtrW(handle, GCL_STYLE), static_cast<ULONG_PTR>(CS_DROPSHADOW));
  EXPECT_EQ(reinterpret_cast<HCURSOR>(::GetClassLongPtrW(handle, GCLP_HCURSOR)), ::LoadCursorW(nullptr, IDC_ARROW));

  const int dpi = expected_dpi();
  const int width = 880 * dpi / 96;
  const int height = 540 * dpi / 96;
  EXPECT_EQ(seen.rect.right - seen.rect.left, width);
  EXPECT_EQ(seen.rect.bottom - seen.rect.top, height);
  EXPECT_EQ(window->client_size(), (platform::WindowSize{width, height})) << "no frame, no caption";
  const RECT work = work_area();
  EXPECT_EQ(seen.rect.left, work.left + (work.right - work.left - width) / 2);
  EXPECT_EQ(seen.rect.top, work.top + (work.bottom - work.top - height) / 2);
}

TEST_F(WinWindowLayer, TheBackgroundIsTheGivenColourAndTheClassGoesWithTheWindow) {
  for (const platform::Colour colour : {kDark, kLight}) {
    auto window = layer->create_main_window({"Morvane Setup", {880, 540}, colour});
    ASSERT_TRUE(window) << "the class of an earlier window is still registered";
    auto brush = reinterpret_cast<HBRUSH>(::GetClassLongPtrW(handle_of(*window), GCLP_HBRBACKGROUND));
    LOGBRUSH described{};
    ASSERT_EQ(::GetObjectW(brush, sizeof described, &described), static_cast<int>(sizeof described));
    EXPECT_EQ(described.lbStyle, static_cast<UINT>(BS_SOLID));
    EXPECT_EQ(described.lbColor, RGB(colour.red, colour.green, colour.blue));
  }
  WNDCLASSEXW left{};
  left.cbSize = sizeof left;
  EXPECT_FALSE(::GetClassInfoExW(::GetModuleHandleW(nullptr), L"MorvaneSetupPage", &left));
}

TEST_F(WinWindowLayer, ShownHiddenMinimisedAndMovedToTheRectangleOfANewDpi) {
  auto window = layer->create_main_window({"Morvane Setup", {880, 540}, kLight});
  ASSERT_TRUE(window);
  HWND handle = handle_of(*window);
  window->show();
  EXPECT_TRUE(::IsWindowVisible(handle));
  window->minimise();
  EXPECT_TRUE(::IsIconic(handle));
  window->show();
  EXPECT_FALSE(::IsIconic(handle));
  window->hide();
  EXPECT_FALSE(::IsWindowVisible(handle));

  RECT suggested{100, 50, 100 + 1100, 50 + 675};
  ::SendMessageW(handle, WM_DPICHANGED, MAKEWPARAM(120, 120), reinterpret_cast<LPARAM>(&suggested));
  RECT now{};
  ::GetWindowRect(handle, &now);
  EXPECT_EQ(now.left, 100);
  EXPECT_EQ(now.top, 50);
  EXPECT_EQ(now.right - now.left, 1100);
  EXPECT_EQ(now.bottom - now.top, 675);
}

// Answers the next box with `button` and records it.
struct BoxAnswerer {
  std::vector<Box> seen;
  int button = IDOK;
  void tick(const std::vector<Window>& windows) {
    if (auto box = find_box(windows)) {
      seen.push_back(*box);
      press(*box, button);
    }
  }
};

TEST_F(WinWindowLayer, AnOkBoxAnswersOkAndANoAnswersNoWithNoOwnerWhenNoneIsGiven) {
  BoxAnswerer answerer;
  std::vector<platform::BoxAnswer> answers;
  auto timer = layer->start_timer(100ms, [&] { answerer.tick(mine()); });
  layer->post([&] {
    answers.push_back(platform::ask_message_box({"Morvane", "Morvane 1.4.0 is installed.", platform::BoxIcon::Information}));
    answerer.button = IDNO;
    answers.push_back(platform::ask_message_box(
        {"Morvane Setup", "sure?", platform::BoxIcon::Question, platform::BoxButtons::YesNo}));
    layer->quit_loop();
  });
  run_for_at_most(10s);
  EXPECT_EQ(answers, (std::vector<platform::BoxAnswer>{platform::BoxAnswer::Ok, platform::BoxAnswer::No}));
  ASSERT_EQ(answerer.seen.size(), 2u);
  EXPECT_EQ(answerer.seen[0].caption, "Morvane");
  EXPECT_EQ(answerer.seen[0].buttons, std::vector<std::string>{"OK"});
  EXPECT_EQ(answerer.seen[0].owner, nullptr);
  EXPECT_EQ(answerer.seen[1].buttons, (std::vector<std::string>{"&Yes", "&No"}));
}

// Where the web engine's loader is looked for, with the planted DLL of the
// tests (planted_dll.cpp) as the loader: it leaves a mark when it is loaded.
class WebViewLoader : public WinWindowLayer {
 protected:
  void SetUp() override {
    WinWindowLayer::SetUp();
    if (IsSkipped()) return;
    stand_in = linux_path(MORVANE_PLANTED_DLL);
    ASSERT_TRUE(platform::exists(stand_in)) << platform::display(stand_in);
    marks = platform::temp_dir() / ("morvane-loader-marks-" + std::to_string(platform::process_id()));
    (void)platform::remove_dir_all(marks);
    ASSERT_TRUE(platform::create_dirs(marks));
    mark = marks / "WebView2Loader.dll";
    ::SetEnvironmentVariableW(L"MORVANE_TEST_DLL_MARKS", marks.c_str());
  }
  void TearDown() override {
    for (const auto& placed : placed_copies) ::DeleteFileW(placed.c_str());
    if (!marks.empty()) (void)platform::remove_dir_all(marks);
  }

  void place(const platform::Path& folder) {
    const platform::Path copy = folder / "WebView2Loader.dll";
    ASSERT_TRUE(::CopyFileW(stand_in.c_str(), copy.c_str(), FALSE)) << platform::display(copy);
    placed_copies.push_back(copy);
  }

  std::string environment_error() {
    std::string error = "(no answer)";
    layer->create_web_environment(platform::temp_dir() / "morvane-setup-test", [&](platform::WebEnvironmentResult result) {
      error = result ? "(an environment)" : result.error();
    });
    return error;
  }

  platform::Path stand_in;
  platform::Path marks;
  platform::Path mark;
  std::vector<platform::Path> placed_copies;
};

TEST_F(WebViewLoader, WithoutALoaderThereIsNoEnvironment) {
  EXPECT_EQ(environment_error(), "the WebView2 loader is not installed");
}

TEST_F(WebViewLoader, ALoaderBesideTheProgramIsNeverLoaded) {
  place(platform::current_exe()->parent_path());
  EXPECT_EQ(environment_error(), "the WebView2 loader is not installed");
  EXPECT_FALSE(platform::exists(mark)) << "the loader beside the program was loaded";
}

TEST_F(WebViewLoader, ALoaderInTheSystemFolderIsLoadedButThisBuildCannotDriveIt) {
  wchar_t system[MAX_PATH] = {};
  ASSERT_GT(::GetSystemDirectoryW(system, MAX_PATH), 0u);
  place(platform::Path(system));
  EXPECT_EQ(environment_error(), "this build of the setup program cannot drive WebView2");
  EXPECT_TRUE(platform::exists(mark)) << "the loader in the system folder was not looked at";
  EXPECT_EQ(::GetModuleHandleW(L"WebView2Loader.dll"), nullptr) << "the loader is let go again";
}

}  // namespace

std::optional<OpenBox> find_open_box() {
  const auto box = find_box(windows_of_thread(::GetCurrentThreadId()));
  if (!box) return std::nullopt;
  return OpenBox{box->caption, box->text, box->owner};
}

void press_yes_on_open_box() {
  if (const auto box = find_box(windows_of_thread(::GetCurrentThreadId()))) press(*box, IDYES);
}

void request_close_from_outside(platform::MainWindow& window) {
  ::PostMessageW(static_cast<HWND>(window.native_handle()), WM_CLOSE, 0, 0);
}

bool is_shown(platform::MainWindow& window) {
  const auto handle = static_cast<HWND>(window.native_handle());
  return ::IsWindow(handle) && ::IsWindowVisible(handle);
}

}  // namespace platform_test
