// The desktop as a test under Wine sees it: the top-level windows of a
// process or a thread, the message boxes among them (their caption, text and
// buttons), and the screen's pixels, read from the X server's framebuffer
// file that with_xvfb.sh names.
#pragma once

#include <windows.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/path.hpp"
#include "platform/window.hpp"

namespace platform_test {

// One top-level window.
struct Window {
  HWND handle = nullptr;
  std::string class_name;
  std::string text;
  bool visible = false;
  RECT rect{0, 0, 0, 0};
  LONG style = 0;
  LONG ex_style = 0;
};

// The top-level windows of a process, or of a thread.
std::vector<Window> windows_of_process(DWORD process_id);
std::vector<Window> windows_of_thread(DWORD thread_id);

// What a message box shows.
struct Box {
  HWND handle = nullptr;
  std::string caption;
  std::string text;
  // The captions of its buttons, in order ("OK"; "&Yes", "&No").
  std::vector<std::string> buttons;
  HWND owner = nullptr;
  RECT rect{0, 0, 0, 0};
};

// The visible message box among `windows`, if there is one.
std::optional<Box> find_box(const std::vector<Window>& windows);

// Presses a button of a box: IDOK, IDYES or IDNO.
void press(const Box& box, int button);

// A path of the build machine as Windows programs under Wine see it (Wine's
// drive Z: is the whole file system).
platform::Path linux_path(std::string_view path);

// Asks `probe` every 20 ms until it answers, at most `limit`.
template <class T>
std::optional<T> wait_for(std::chrono::milliseconds limit, const std::function<std::optional<T>()>& probe) {
  const auto end = std::chrono::steady_clock::now() + limit;
  for (;;) {
    if (auto found = probe()) return found;
    if (std::chrono::steady_clock::now() >= end) return std::nullopt;
    ::Sleep(20);
  }
}

// The screen as the X server last drew it.
class Screen {
 public:
  // Reads the framebuffer; throws when there is none (no display, or not
  // started by with_xvfb.sh).
  static Screen grab();
  int width() const { return width_; }
  int height() const { return height_; }
  platform::Colour pixel(int x, int y) const;
  // How many pixels of `area` satisfy `test`.
  int count(const RECT& area, const std::function<bool(platform::Colour)>& test) const;
  // With MORVANE_TEST_SCREENSHOTS naming a folder: the screen written there
  // as <name>.xwd, for a person to look at. Nothing otherwise.
  void keep(const std::string& name) const;

 private:
  std::vector<std::uint8_t> file_;
  std::size_t pixels_ = 0;
  int width_ = 0;
  int height_ = 0;
  std::size_t line_ = 0;
};

}  // namespace platform_test
