// What the user does: clicks, presses on the bar, keys and the context menu.
// Mouse and key input is real: the X server's XTest events go to the window
// and from there through GTK and the engine to the page, hit-testing
// included. Only the nesting case below builds its own DOM and dispatches a
// MouseEvent, because the page has no nested data-send of its own.
#include <gdk/gdkkeysyms.h>

#include <string>
#include <vector>

#include "setup/page/tests/page_fixture.hpp"

namespace page_test {
namespace {

using Messages = std::vector<std::string>;

std::string message(const std::string& type) { return R"({"type":")" + type + R"("})"; }

// Counts, before anything of the page's own sees them, the button releases
// and key releases that reached the page, so that each input below is
// waited for before the next host call can overtake it.
constexpr const char* input_counter = R"js(
  window.__inputs = 0;
  window.addEventListener("mouseup", function () { window.__inputs++; }, true);
  window.addEventListener("keyup", function () { window.__inputs++; }, true);
)js";

class InputTest : public PageTest {
 protected:
  void open_counting(PageWindowOptions options = {}) {
    options.scripts.push_back(input_counter);
    open(std::move(options));
  }

  // A press and release at a point; returns once the page has seen them.
  void click_at(int x, int y, MouseButton button = MouseButton::Primary) {
    const int before = std::stoi(text("window.__inputs"));
    window().click(x, y, button);
    arrived(before);
  }
  void click(std::string_view selector, MouseButton button = MouseButton::Primary) {
    // An end view rises into place; its buttons are aimed at where they stop.
    window().pump_until(
        [&] {
          return text(R"(document.getAnimations().filter(function (a) {
                           return a.animationName === "rise" && a.playState === "running"; }).length)") == "0";
        },
        milliseconds(3000));
    const Point p = centre_of(selector);
    click_at(p.x, p.y, button);
  }
  void key(unsigned keyval) {
    const int before = std::stoi(text("window.__inputs"));
    window().key(keyval);
    arrived(before);
  }

  // Waits for `count` messages after "ready", then a little longer, so that
  // a message too many shows.
  Messages messages(std::size_t count) {
    window().wait_for_messages(count + 1, milliseconds(3000));
    settle();
    return messages_after_ready();
  }

 private:
  void arrived(int before) {
    const std::string after = std::to_string(before + 1);
    EXPECT_TRUE(window().pump_until([&] { return text("window.__inputs") == after; }, milliseconds(5000)))
        << "the input never reached the page";
  }
};

TEST_F(InputTest, BarButtonsPostTheirMessageAndNoDrag) {
  open_counting();
  click("#minimise");
  EXPECT_EQ(messages(1), Messages{message("minimize")});
  click("#close");
  EXPECT_EQ(messages(2), (Messages{message("minimize"), message("close")}));
}

TEST_F(InputTest, APressOnTheBarOutsideItsButtonsIsADrag) {
  open_counting();
  for (const char* where : {"#bar .word", "#bar .spacer", "#badge", "#bar .mark"}) click(where);
  EXPECT_EQ(messages(4), Messages(4, message("drag")));
}

TEST_F(InputTest, OtherMouseButtonsOnTheBarPostNothing) {
  open_counting();
  click("#bar .spacer", MouseButton::Middle);
  click("#bar .spacer", MouseButton::Secondary);
  click("#close", MouseButton::Secondary);
  click("#minimise", MouseButton::Middle);
  EXPECT_EQ(messages(0), Messages{});
}

TEST_F(InputTest, APressAnywhereElsePostsNothing) {
  open_counting();
  click_at(200, 250);  // the stage's words
  click_at(400, 500);  // the foot
  EXPECT_EQ(messages(0), Messages{});
}

TEST_F(InputTest, EndViewButtonsPostTheirMessages) {
  open_counting();
  run("mv.done()");
  click("#v-done .primary");
  click("#v-done .btn:not(.primary)");
  run("mv.current()");
  click("#v-current .primary");
  click("#v-current .btn:not(.primary)");
  run("mv.failed()");
  click("#v-failed .primary");
  click("#v-failed .btn:nth-child(2)");
  click("#v-failed .quiet");
  EXPECT_EQ(messages(7), (Messages{message("open"), message("close"), message("open"), message("close"),
                                   message("retry"), message("details"), message("close")}));
}

TEST_F(InputTest, AClickCountsForTheNearestMarkedElement) {
  open();
  run(R"((function () {
    var outer = document.createElement("div");
    outer.setAttribute("data-send", "retry");
    outer.innerHTML = '<span data-send="details"><b id="inner">x</b></span><i id="plain">y</i>';
    document.getElementById("v-failed").querySelector(".col").appendChild(outer);
  })())");
  run(R"(document.getElementById("inner").dispatchEvent(new MouseEvent("click", { bubbles: true, button: 0 })))");
  run(R"(document.getElementById("plain").dispatchEvent(new MouseEvent("click", { bubbles: true, button: 0 })))");
  run(R"(document.querySelector("main").dispatchEvent(new MouseEvent("click", { bubbles: true, button: 0 })))");
  EXPECT_EQ(messages(2), (Messages{message("details"), message("retry")}));
}

TEST_F(InputTest, EscapeClosesOnlyOutsideTheWork) {
  open_counting();
  key(GDK_KEY_Escape);
  EXPECT_EQ(messages(0), Messages{});

  run("mv.done()");
  key(GDK_KEY_Escape);
  EXPECT_EQ(messages(1), Messages{message("close")});

  run("mv.failed()");
  key(GDK_KEY_Escape);
  EXPECT_EQ(messages(2), (Messages{message("close"), message("close")}));

  run(R"(mv.state({"phase":"starting"}))");
  key(GDK_KEY_Escape);
  EXPECT_EQ(messages(2), (Messages{message("close"), message("close")}));
}

TEST_F(InputTest, NoOtherKeyIsHandled) {
  open_counting();
  run("mv.current()");
  for (unsigned keyval : {GDK_KEY_q, GDK_KEY_space, GDK_KEY_F5, GDK_KEY_BackSpace}) key(keyval);
  EXPECT_EQ(messages(0), Messages{});
}

TEST_F(InputTest, TheContextMenuIsSuppressedEverywhere) {
  PageWindowOptions options;
  // Records, after the page's own handler, whether the menu's default was prevented.
  options.scripts.push_back(R"js(
    window.__menus = [];
    window.addEventListener("contextmenu", function (e) { window.__menus.push(e.defaultPrevented); });
  )js");
  open_counting(options);
  click_at(200, 250, MouseButton::Secondary);  // the stage
  click_at(400, 22, MouseButton::Secondary);   // the bar
  click_at(400, 500, MouseButton::Secondary);  // the foot
  run("mv.failed()");
  click("#v-failed .btn:nth-child(2)", MouseButton::Secondary);
  EXPECT_EQ(run("window.__menus"), "[true,true,true,true]");
  EXPECT_EQ(window().context_menus(), 0);
  EXPECT_EQ(messages(0), Messages{});
}

}  // namespace
}  // namespace page_test
