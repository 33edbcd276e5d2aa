// The window's logic on the UI thread: the refresh on every timer tick, the
// close decision, the page's messages, the page-event queue and the actions
// that run with the state given back. Everything here runs on the UI thread,
// against the window layer of platform/window.hpp.
//
// One header for the parts, which call one another; each part is a file of
// its own, and the declarations below stand in the parts' order:
//   refresh.cpp               the timer's tick, the refresh, page scripts
//   close_and_actions.cpp     closing, quitting, performing an action
//   page_event_queue.cpp      the UI thread's record, the page-event queue
//                             and the web view's coming and going
//   page_message_actions.cpp  what each of the page's messages does
#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <string>

#include <tl/expected.hpp>

#include "platform/window.hpp"
#include "setup/window/page_event.hpp"
#include "setup/window/page_message.hpp"
#include "setup/window/window_state.hpp"

namespace setup {

// The setup page's text, or why it cannot be had.
using PageSource = std::function<tl::expected<std::string, std::string>()>;

// What belongs to the UI thread alone.
struct UiThread {
  UiThread(platform::WindowLayer& layer, PageSource page_source)
      : layer(layer), page_source(std::move(page_source)) {}

  platform::WindowLayer& layer;
  PageSource page_source;
  // The run's WindowState, from the start of the loop to its end.
  StateSlot state;
  // Events from the web view's callbacks, first in, first out.
  std::deque<PageEvent> page_events;
  // The main window while there is one: the owner of the boxes.
  platform::MainWindow* main_window = nullptr;
  // How callbacks reach this thread's state without keeping it alive.
  std::weak_ptr<UiThread> self;
};

// The refresh (refresh.cpp).

// Every tick of the refresh timer: refresh_page when the state is free and
// there, then drain_page_events.
void on_timer_tick(UiThread& ui);

// Carries the worker's status and outcome to the splash and the page, ends
// the loop when a confirmed cancel has run out or ended, and tears the web
// view down when the page is still not ready 15 seconds after the outcome.
void refresh_page(UiThread& ui, WindowState& state);

// Runs a script in the page, when there is a web view; never waits for it.
void run_page_script(WindowState& state, std::string_view script);

// Closing and the actions (close_and_actions.cpp).

// The answer to a close request (from the system or the page's "close").
PageAction decide_close(UiThread& ui, WindowState& state);

// A close request from the system: decide_close with the state taken (None
// when it cannot be), then perform_action with it given back. The window
// itself is never closed here.
void on_close_requested(UiThread& ui);

// Ends the message loop with the decision Quit and the success flag.
void quit_loop(UiThread& ui, WindowState& state, bool success);

// Carries out an action with the state given back: its boxes run nested
// loops in which the timer goes on ticking.
void perform_action(UiThread& ui, const PageAction& action);

// The UI thread and its page-event queue (page_event_queue.cpp).

// Makes the UI thread's record; callbacks hold it weakly.
std::shared_ptr<UiThread> make_ui_thread(platform::WindowLayer& layer, PageSource page_source);

// Queues an event and wakes the loop.
void push_page_event(UiThread& ui, PageEvent event);

// Handles the queued events one by one, each with the state taken and its
// action performed with the state given back; stops when the state is taken
// by an outer handler, leaving the rest for the next tick or wake-up.
void drain_page_events(UiThread& ui);

// Starts the web engine for the main window; its result comes back as an
// EnvironmentCreated event.
void create_web_view_environment(UiThread& ui, const platform::Path& user_data_dir);

// Closes and releases the web view objects, once; the page is gone for good.
void tear_down_web_view(WindowState& state);

// The page's messages (page_message_actions.cpp).

// Applies one of the page's messages with the state taken.
PageAction apply_page_message(UiThread& ui, WindowState& state, PageMessage message);

}  // namespace setup
