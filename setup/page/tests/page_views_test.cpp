// The end views (done, current, failed) and switching between the views.
#include "setup/page/tests/page_fixture.hpp"

namespace page_test {
namespace {

// Which parts are on screen: the body's view, the foot and each end view,
// by their computed display.
constexpr const char* shown = R"js(
(function () {
  function on(id) { return getComputedStyle(document.getElementById(id)).display !== "none"; }
  return [document.body.getAttribute("data-view"), on("foot"), on("v-done"), on("v-current"), on("v-failed")];
})()
)js";

class ViewsTest : public PageTest {};

TEST_F(ViewsTest, EachCallShowsItsViewAndOnlyThat) {
  open();
  EXPECT_EQ(run(shown), R"(["work",true,false,false,false])");
  run("mv.done()");
  EXPECT_EQ(run(shown), R"(["done",false,true,false,false])");
  run("mv.current()");
  EXPECT_EQ(run(shown), R"(["current",false,false,true,false])");
  run("mv.failed()");
  EXPECT_EQ(run(shown), R"(["failed",false,false,false,true])");
  // A retry goes back to the work.
  run(R"(mv.state({"phase":"starting"}))");
  EXPECT_EQ(run(shown), R"(["work",true,false,false,false])");
}

TEST_F(ViewsTest, DoneNamesAFreshInstallOrAnUpdate) {
  open();
  run("mv.done()");
  EXPECT_EQ(text("document.getElementById('done-title').textContent"), "Morvane is installed");
  EXPECT_EQ(text("document.getElementById('done-text').textContent"),
            "It is in your own profile, with a shortcut in the Start menu and on the desktop.");
  EXPECT_EQ(text("document.getElementById('badge').textContent"), "Setup");

  run(R"(mv.done({"version":"1.2.0","updated":false}))");
  EXPECT_EQ(text("document.getElementById('done-title').textContent"), "Morvane 1.2.0 is installed");

  // Only the value true says updated.
  run(R"(mv.done({"version":"1.2.0","updated":"true"}))");
  EXPECT_EQ(text("document.getElementById('done-title').textContent"), "Morvane 1.2.0 is installed");

  run(R"(mv.done({"version":"1.2.0","updated":true}))");
  EXPECT_EQ(text("document.getElementById('done-title').textContent"), "Morvane 1.2.0 is up to date");
  EXPECT_EQ(text("document.getElementById('done-text').textContent"),
            "Your install was updated. Your charts, recordings and settings are as you left them.");
  EXPECT_EQ(text("document.getElementById('badge').textContent"), "Update");
}

TEST_F(ViewsTest, CurrentNamesTheVersionAndChangesNothingElse) {
  open();
  run("mv.current()");
  EXPECT_EQ(text("document.getElementById('current-title').textContent"), "Morvane is already installed");
  run(R"(mv.current({"version":"1.2.0"}))");
  EXPECT_EQ(text("document.getElementById('current-title').textContent"), "Morvane 1.2.0 is already installed");
  EXPECT_EQ(text("document.querySelector('#v-current p').textContent"),
            "This computer has the newest version. Nothing was changed.");
  EXPECT_EQ(text("document.getElementById('badge').textContent"), "Setup");
}

// What the failed view shows: title, todo (and whether it is shown), third line.
constexpr const char* failed_lines = R"js(
(function () {
  var todo = document.getElementById("failed-todo");
  return [document.getElementById("failed-title").textContent,
          todo.hidden || getComputedStyle(todo).display === "none" ? null : todo.textContent,
          document.getElementById("failed-kept").textContent];
})()
)js";

TEST_F(ViewsTest, FailedShowsItsDefaults) {
  open();
  run("mv.failed()");
  EXPECT_EQ(run(failed_lines), R"(["Morvane could not be installed.",null,"Nothing was changed on this computer."])");
  EXPECT_EQ(text("document.getElementById('badge').textContent"), "Setup");

  run(R"(mv.failed({"sentence":"","todo":"","kept":""}))");
  EXPECT_EQ(run(failed_lines), R"(["Morvane could not be installed.",null,"Nothing was changed on this computer."])");
}

TEST_F(ViewsTest, FailedShowsTheSentenceAndWhatToDo) {
  open();
  run(R"(mv.failed({"sentence":"Morvane's download server could not be reached.","todo":"Check this computer's connection and try again."}))");
  EXPECT_EQ(run(failed_lines),
            R"(["Morvane's download server could not be reached.","Check this computer's connection and try again.","Nothing was changed on this computer."])");

  // A later failure without a todo hides the earlier one's.
  run(R"(mv.state({"phase":"starting"}))");
  run(R"(mv.failed({"sentence":"The installation was stopped; nothing was installed.","kept":"Your files are safe."}))");
  EXPECT_EQ(run(failed_lines),
            R"(["The installation was stopped; nothing was installed.",null,"Your files are safe."])");
}

TEST_F(ViewsTest, HostTextArrivesAsText) {
  open();
  // What quote_js_string escapes comes back as the same characters, never as markup.
  run(R"(mv.failed({"sentence":"A \"quoted\" \\ \u003cb>bold\u003c/b> \u2028 line."}))");
  EXPECT_EQ(text("document.getElementById('failed-title').textContent"),
            "A \"quoted\" \\ <b>bold</b> \u2028 line.");
  EXPECT_EQ(text("document.getElementById('failed-title').children.length"), "0");
}

TEST_F(ViewsTest, TheEndViewsAreAnnouncedAndTheirButtonsNamed) {
  open();
  EXPECT_EQ(run(R"(["v-done","v-current","v-failed"].map(function (id) {
                     return document.getElementById(id).getAttribute("role"); }))"),
            R"(["status","status","alert"])");
  EXPECT_EQ(run(R"(Array.prototype.map.call(document.querySelectorAll("[data-send]"), function (b) {
                     return [b.closest("section, header").id,
                             b.getAttribute("aria-label") || b.textContent, b.getAttribute("data-send")]; }))"),
            R"([["bar","Minimise","minimize"],["bar","Close","close"],)"
            R"(["v-done","Open Morvane","open"],["v-done","Close","close"],)"
            R"(["v-current","Open Morvane","open"],["v-current","Close","close"],)"
            R"(["v-failed","Try again","retry"],["v-failed","Details","details"],["v-failed","Close","close"]])");
  // The primary button of each end view comes first.
  EXPECT_EQ(run(R"(Array.prototype.map.call(document.querySelectorAll(".end .row"), function (row) {
                     return row.firstElementChild.classList.contains("primary"); }))"),
            "[true,true,true]");
}

TEST_F(ViewsTest, ReadyIsPostedOnceAfterLoading) {
  open();
  settle();
  run(R"(mv.state({"phase":"downloading"}))");
  run(R"(mv.done({}))");
  settle();
  EXPECT_EQ(window().messages(), std::vector<std::string>{R"({"type":"ready"})"});
}

TEST_F(ViewsTest, TheDocumentSaysWhatItIs) {
  open();
  EXPECT_EQ(run(R"([document.documentElement.lang, document.characterSet, document.title,
                     document.querySelector("meta[name=viewport]").content,
                     document.querySelector("meta[name=color-scheme]").content])"),
            R"(["en","UTF-8","Morvane Setup","width=device-width, initial-scale=1","dark light"])");
}

}  // namespace
}  // namespace page_test
