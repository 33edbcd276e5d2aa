#include "platform/tests/win/desktop.hpp"

#include <cstdlib>
#include <stdexcept>

#include "platform/env.hpp"
#include "platform/fs.hpp"
#include "platform/win/wide.hpp"

namespace platform_test {

namespace {

std::string class_of(HWND window) {
  wchar_t name[256] = {};
  const int length = ::GetClassNameW(window, name, 256);
  return platform::win::narrow(std::wstring_view(name, length > 0 ? static_cast<std::size_t>(length) : 0));
}

// The text of a window, also of another process's: WM_GETTEXT, which the
// system carries across.
std::string text_of(HWND window) {
  wchar_t text[1024] = {};
  DWORD_PTR length = 0;
  if (!::SendMessageTimeoutW(window, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 2000,
                             &length)) {
    return {};
  }
  return platform::win::narrow(std::wstring_view(text, length));
}

Window describe(HWND handle) {
  Window window;
  window.handle = handle;
  window.class_name = class_of(handle);
  window.text = text_of(handle);
  window.visible = ::IsWindowVisible(handle) != FALSE;
  ::GetWindowRect(handle, &window.rect);
  window.style = ::GetWindowLongW(handle, GWL_STYLE);
  window.ex_style = ::GetWindowLongW(handle, GWL_EXSTYLE);
  return window;
}

struct Search {
  DWORD process_id = 0;
  std::vector<Window> found;
};

BOOL CALLBACK collect_of_process(HWND handle, LPARAM data) {
  auto* search = reinterpret_cast<Search*>(data);
  DWORD owner = 0;
  ::GetWindowThreadProcessId(handle, &owner);
  if (owner == search->process_id) search->found.push_back(describe(handle));
  return TRUE;
}

BOOL CALLBACK collect(HWND handle, LPARAM data) {
  reinterpret_cast<Search*>(data)->found.push_back(describe(handle));
  return TRUE;
}

BOOL CALLBACK collect_children(HWND handle, LPARAM data) {
  reinterpret_cast<std::vector<HWND>*>(data)->push_back(handle);
  return TRUE;
}

std::uint32_t big_endian(const std::vector<std::uint8_t>& bytes, std::size_t field) {
  const std::size_t at = field * 4;
  return (std::uint32_t{bytes.at(at)} << 24) | (std::uint32_t{bytes.at(at + 1)} << 16) |
         (std::uint32_t{bytes.at(at + 2)} << 8) | std::uint32_t{bytes.at(at + 3)};
}

}  // namespace

std::vector<Window> windows_of_process(DWORD process_id) {
  Search search{process_id, {}};
  ::EnumWindows(&collect_of_process, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

std::vector<Window> windows_of_thread(DWORD thread_id) {
  Search search;
  ::EnumThreadWindows(thread_id, &collect, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

std::optional<Box> find_box(const std::vector<Window>& windows) {
  for (const Window& window : windows) {
    if (window.class_name != "#32770" || !window.visible) continue;
    Box box;
    box.handle = window.handle;
    box.caption = window.text;
    box.rect = window.rect;
    box.owner = ::GetWindow(window.handle, GW_OWNER);
    // The box's sentence is its static control 0xFFFF; its buttons are in
    // the order the box lays them out.
    if (HWND text = ::GetDlgItem(window.handle, 0xFFFF)) box.text = text_of(text);
    std::vector<HWND> children;
    ::EnumChildWindows(window.handle, &collect_children, reinterpret_cast<LPARAM>(&children));
    for (HWND child : children) {
      if (class_of(child) == "Button" && ::IsWindowVisible(child)) box.buttons.push_back(text_of(child));
    }
    return box;
  }
  return std::nullopt;
}

void press(const Box& box, int button) {
  ::PostMessageW(box.handle, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                 reinterpret_cast<LPARAM>(::GetDlgItem(box.handle, button)));
}

platform::Path linux_path(std::string_view path) {
  std::string name = "Z:" + std::string(path);
  for (char& c : name) {
    if (c == '/') c = '\\';
  }
  return platform::path_from_utf8(name);
}

Screen Screen::grab() {
  const auto name = platform::env_var("MORVANE_TEST_FRAMEBUFFER");
  if (!name) throw std::runtime_error("no framebuffer: run the test under with_xvfb.sh");
  auto bytes = platform::read_file(linux_path(*name));
  if (!bytes) throw std::runtime_error("cannot read the framebuffer " + *name + ": " + bytes.error().text());
  Screen screen;
  screen.file_ = std::move(*bytes);
  // An XWD file: big-endian header fields, then the colour map, then the
  // pixels of a 32-bit true-colour screen, least significant byte first.
  const std::uint32_t header_size = big_endian(screen.file_, 0);
  if (big_endian(screen.file_, 1) != 7 || big_endian(screen.file_, 11) != 32 || big_endian(screen.file_, 7) != 0) {
    throw std::runtime_error("the framebuffer is not a 32-bit XWD image");
  }
  screen.width_ = static_cast<int>(big_endian(screen.file_, 4));
  screen.height_ = static_cast<int>(big_endian(screen.file_, 5));
  screen.line_ = big_endian(screen.file_, 12);
  screen.pixels_ = header_size + std::size_t{big_endian(screen.file_, 19)} * 12;
  if (screen.file_.size() < screen.pixels_ + screen.line_ * static_cast<std::size_t>(screen.height_)) {
    throw std::runtime_error("the framebuffer is cut short");
  }
  return screen;
}

platform::Colour Screen::pixel(int x, int y) const {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return {};
  const std::size_t at = pixels_ + line_ * static_cast<std::size_t>(y) + static_cast<std::size_t>(x) * 4;
  return {file_[at + 2], file_[at + 1], file_[at]};
}

int Screen::count(const RECT& area, const std::function<bool(platform::Colour)>& test) const {
  int found = 0;
  for (int y = area.top; y < area.bottom; ++y) {
    for (int x = area.left; x < area.right; ++x) {
      if (test(pixel(x, y))) ++found;
    }
  }
  return found;
}

void Screen::keep(const std::string& name) const {
  const auto folder = platform::env_var("MORVANE_TEST_SCREENSHOTS");
  if (!folder || folder->empty()) return;
  (void)platform::write_file(linux_path(*folder) / (name + ".xwd"),
                             platform::ByteView(file_.data(), file_.size()));
}

}  // namespace platform_test
