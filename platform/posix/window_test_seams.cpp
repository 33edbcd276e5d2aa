// The window layer's test-only seams. Only a test build compiles them in
// (MORVANE_WINDOW_TEST_SEAMS, set for the test profile alone); in every
// other build each of them does nothing, whatever the environment says.
#include <fmt/format.h>

#include <cstdio>
#include <mutex>
#include <sstream>
#include <vector>

#include "platform/env.hpp"
#include "platform/fs.hpp"
#include "platform/posix/window_gtk.hpp"

namespace platform::gtk_window::seams {

#if defined(MORVANE_WINDOW_TEST_SEAMS)

void log(std::string_view line) {
  const auto path = env_var("MORVANE_TEST_WINDOW_LOG");
  if (!path || path->empty()) return;
  auto file = File::open_append(path_from_utf8(*path));
  if (!file) return;
  std::string text(line);
  for (char& c : text) {
    if (c == '\n') c = ' ';
  }
  text.push_back('\n');
  (void)file->write_all(byte_view(text));
}

std::string page_script() {
  const auto path = env_var("MORVANE_TEST_PAGE_SCRIPT");
  if (!path || path->empty()) return {};
  auto bytes = read_file(path_from_utf8(*path));
  return bytes ? to_string(*bytes) : std::string();
}

bool web_view_refused() { return env_var("MORVANE_TEST_NO_WEB_VIEW").has_value(); }

BoxPresenter box_presenter() {
  const auto answers_text = env_var("MORVANE_TEST_BOX_ANSWERS");
  if (!answers_text) return {};
  auto answers = std::make_shared<std::vector<std::string>>();
  std::stringstream list(*answers_text);
  for (std::string answer; std::getline(list, answer, ',');) answers->push_back(answer);
  auto next = std::make_shared<std::size_t>(0);
  return [answers, next](const BoxSpec& box, void*) {
    if (box.buttons != BoxButtons::YesNo) {
      log(fmt::format("box: {}", message_box_line(box)));
      return BoxAnswer::Ok;
    }
    const bool yes = *next < answers->size() && (*answers)[(*next)++] == "yes";
    log(fmt::format("box: {} -> {}", message_box_line(box), yes ? "yes" : "no"));
    return yes ? BoxAnswer::Yes : BoxAnswer::No;
  };
}

#else

void log(std::string_view) {}
std::string page_script() { return {}; }
bool web_view_refused() { return false; }
BoxPresenter box_presenter() { return {}; }

#endif

}  // namespace platform::gtk_window::seams
