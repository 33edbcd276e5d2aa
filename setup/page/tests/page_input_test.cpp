// What the user does: clicks, presses on the bar, keys and the context menu.
// Mouse and key input is real: GDK's test events go through the X server to
// the window and from there through the engine to the page, hit-testing
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

class InputTest : public PageTest {
 protected:
  void click(std::string_view selector) {
    const Point p = centre_of(selector);
    window().click(p.x, p.y);
  }

  // Waits for `count` messages after "ready", then a little longer, so that
  // a message too many shows.
  Messages messages(std::size_t count) {
    window().wait_for_messages(count + 1, milliseconds(3000));
    settle();
    return messages_after_ready();
  }
};

TEST_F(InputTest, BarButtonsPostTheirMessageAndNoDrag) {
  open();
  click("#minimise");
  EXPECT_EQ(messages(1), Messages{message("minimize")});
  click("#close");
  EXPECT_EQ(messages(2), (Messages{message("minimize"), message("close")}));
}

TEST_F(InputTest, APressOnTheBarOutsideItsButtonsIsADrag) {
  open();
  for (const char* where : {"#bar .word", "#bar .spacer", "#badge", "#bar .mark"}) {
    const Point p = centre_of(where);
    window().press(p.x, p.y, MouseButton::Primary);
    window().release(p.x, p.y, MouseButton::Primary);
  }
  EXPECT_EQ(messages(4), Messages(4, message("drag")));
}

TEST_F(InputTest, OtherMouseButtonsOnTheBarPostNothing) {
  open();
  const Point p = centre_of("#bar .spacer");
  window().click(p.x, p.y, MouseButton::Middle);
  window().click(p.x, p.y, MouseButton::Secondary);
  const Point close = centre_of("#close");
  window().click(close.x, close.y, MouseButton::Secondary);
  EXPECT_EQ(messages(0), Messages{});
}

TEST_F(InputTest, APressAnywhereElsePostsNothing) {
  open();
  window().click(200, 250);  // the stage's words
  window().click(400, 500);  // the foot
  EXPECT_EQ(messages(0), Messages{});
}

TEST_F(InputTest, EndViewButtonsPostTheirMessages) {
  open();
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
  open();
  window().key(GDK_KEY_Escape);
  EXPECT_EQ(messages(0), Messages{});

  run("mv.done()");
  window().key(GDK_KEY_Escape);
  EXPECT_EQ(messages(1), Messages{message("close")});

  run("mv.failed()");
  window().key(GDK_KEY_Escape);
  EXPECT_EQ(messages(2), (Messages{message("close"), message("close")}));

  run(R"(mv.state({"phase":"starting"}))");
  window().key(GDK_KEY_Escape);
  EXPECT_EQ(messages(2), (Messages{message("close"), message("close")}));
}

TEST_F(InputTest, NoOtherKeyIsHandled) {
  open();
  run("mv.current()");
  for (unsigned key : {GDK_KEY_q, GDK_KEY_space, GDK_KEY_F5, GDK_KEY_BackSpace}) window().key(key);
  EXPECT_EQ(messages(0), Messages{});
}

TEST_F(InputTest, TheContextMenuIsSuppressedEverywhere) {
  PageWindowOptions options;
  // Records, after the page's own handler, whether the menu's default was prevented.
  options.scripts.push_back(R"js(
    window.__menus = [];
    window.addEventListener("contextmenu", function (e) { window.__menus.push(e.defaultPrevented); });
  )js");
  open(options);
  window().click(200, 250, MouseButton::Secondary);  // the stage
  window().click(400, 22, MouseButton::Secondary);   // the bar
  window().click(400, 500, MouseButton::Secondary);  // the foot
  run("mv.failed()");
  const Point details = centre_of("#v-failed .btn:nth-child(2)");
  window().click(details.x, details.y, MouseButton::Secondary);
  window().pump_until([&] { return text("window.__menus.length") == "4"; }, milliseconds(3000));
  EXPECT_EQ(run("window.__menus"), "[true,true,true,true]");
  EXPECT_EQ(window().context_menus(), 0);
  EXPECT_EQ(messages(0), Messages{});
}

}  // namespace
}  // namespace page_test
