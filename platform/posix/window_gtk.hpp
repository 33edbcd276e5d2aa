// What the GTK window layer's parts share: the guard that keeps C++
// exceptions out of GLib's C frames, the main window as the web view's
// parent, and the test-only seams.
#pragma once

#include <exception>
#include <functional>
#include <string>
#include <string_view>

#include "platform/message_box.hpp"
#include "platform/window.hpp"

typedef struct _GtkWidget GtkWidget;

namespace platform::gtk_window {

// Runs a callback that GLib calls. A fault that escapes it is kept and ends
// the loop; run_loop throws it again once the loop has returned.
void guarded(const std::function<void()>& work);

// Hands the layer a fault that a callback left behind.
void keep_fault(std::exception_ptr fault);

// A main window of this layer: the container that its web view fills.
class ParentWindow : public MainWindow {
 public:
  virtual GtkWidget* content() = 0;
};

// The web engine for the main windows of this layer (window_webkit.cpp).
void create_webkit_environment(const Path& user_data_dir, std::function<void(WebEnvironmentResult)> done);

// The GTK dialog for a box: modal over `owner` when there is one.
BoxAnswer present_gtk_box(const BoxSpec& box, void* owner);

// Test-only seams, compiled into test builds alone (MORVANE_WINDOW_TEST_SEAMS)
// and each switched on by an environment variable of the test's. In every
// other build they do nothing.
namespace seams {

// MORVANE_TEST_WINDOW_LOG=<file>: one line per thing the layer shows or does
// ("splash: <text>", "main window shown", "script: <text>", ...), appended.
void log(std::string_view line);

// MORVANE_TEST_PAGE_SCRIPT=<file>: a script that the web view runs in the
// page once the page's first load has finished (the page has posted "ready"
// by then). Nothing when the seam is off or the file cannot be read.
std::string page_script();

// MORVANE_TEST_NO_WEB_VIEW (any value): the web engine cannot be started.
bool web_view_refused();

// MORVANE_TEST_BOX_ANSWERS=<answers>: boxes are not shown but logged, and
// each Yes/No box takes the next answer of the comma-separated list ("yes"
// or "no"), No once the list has run out. Nothing when the seam is off.
BoxPresenter box_presenter();

}  // namespace seams

}  // namespace platform::gtk_window
