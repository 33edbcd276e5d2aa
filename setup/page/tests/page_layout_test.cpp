// Text fits at the window's 880 × 540 and nothing overlaps, with the longest
// texts the host sends. The fonts are whatever the machine has (on a test
// machine usually wider than the ones the page asks for first).
#include "setup/page/tests/page_fixture.hpp"

namespace page_test {
namespace {

// window.__layout() lists every part that leaves its box, overlaps a
// neighbour or overflows.
constexpr const char* layout_problems = R"js(
window.__layout = (function () {
  var problems = [];
  function box(e) { return e.getBoundingClientRect(); }
  function name(e) { return e.id || e.className.baseVal || e.className || e.tagName; }
  function within(inner, outer) {
    var a = box(inner), b = box(outer);
    if (a.left < b.left - 0.5 || a.right > b.right + 0.5 || a.top < b.top - 0.5 || a.bottom > b.bottom + 0.5) {
      problems.push(name(inner) + " leaves " + name(outer));
    }
  }
  function apart(x, y) {
    var a = box(x), b = box(y);
    if (a.width && b.width && a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom) {
      problems.push(name(x) + " overlaps " + name(y));
    }
  }
  function fits(e) {
    if (e.scrollWidth > e.clientWidth + 1) problems.push(name(e) + " overflows: " + e.textContent);
  }
  function each(list, f) { Array.prototype.forEach.call(list, f); }
  function pairs(list) {
    for (var i = 0; i < list.length; i++) for (var j = i + 1; j < list.length; j++) apart(list[i], list[j]);
  }

  var stage = document.getElementById("stage");
  var view = document.body.getAttribute("data-view");
  within(document.getElementById("bar"), document.body);
  pairs(document.querySelectorAll("#bar > *"));
  each(document.querySelectorAll("#bar > *"), function (e) { within(e, document.getElementById("bar")); });

  if (view === "work") {
    var foot = document.getElementById("foot");
    within(foot, document.body);
    apart(stage, foot);
    var line = document.querySelectorAll("#foot .line > :not(.spacer)");
    pairs(line);
    each(line, function (e) { within(e, foot); fits(e); });
    each(document.querySelectorAll("#steps li"), function (e) { within(e, foot); });
    each(document.querySelectorAll(".scene"), function (scene, i) {
      var words = scene.children[0], card = scene.children[1];
      within(scene, stage);
      within(words, stage);
      within(card, stage);
      apart(words, card);
      apart(document.getElementById("dots"), card);
      apart(document.getElementById("dots"), words);
      each(words.children, function (e) { fits(e); });
      if (box(words).bottom > box(stage).bottom - 22) problems.push("the words of scene " + (i + 1) + " reach the margin");
    });
  } else {
    var end = document.getElementById("v-" + view);
    var col = end.querySelector(".col");
    within(col, stage);
    var parts = Array.prototype.filter.call(col.children, function (e) { return !e.hidden; });
    pairs(parts);
    each(parts, function (e) { fits(e); });
    each(col.querySelectorAll(".btn"), function (b) { within(b, col); });
    pairs(col.querySelectorAll(".btn"));
  }
  return problems;
});
)js";

class LayoutTest : public PageTest {
 protected:
  void SetUp() override {
    open();
    run(layout_problems);
  }
};

TEST_F(LayoutTest, TheWorkViewFitsWithItsLongestLine) {
  run(R"(mv.state({"phase":"verifying","version":"10.12.103","from_version":"10.11.998",)"
      R"("fraction":0.9999,"done_bytes":1610612735,"total_bytes":1610612736,"files_done":1188,"files_total":1203}))");
  EXPECT_EQ(run("__layout()"), "[]");
  run(R"(mv.state({"phase":"downloading","version":"1.4.2","fraction":0.4,"done_bytes":41943040,)"
      R"("total_bytes":104857599,"files_done":4,"files_total":11}))");
  EXPECT_EQ(run("__layout()"), "[]");
}

// A version line too long for the foot ends in an ellipsis; everything else
// keeps its place.
TEST_F(LayoutTest, AnOverlongVersionLineIsCutAndPushesNothingOut) {
  run(R"(mv.state({"phase":"verifying","version":"10.12.103+build.20250611.nightly","from_version":"10.11.998+build.20250301.nightly",)"
      R"("fraction":0.9999,"done_bytes":1610612735,"total_bytes":1610612736,"files_done":1188,"files_total":1203}))");
  EXPECT_EQ(run(R"(__layout().filter(function (p) { return p.indexOf("version overflows") !== 0; }))"), "[]");
  EXPECT_EQ(text("getComputedStyle(document.getElementById('version')).textOverflow"), "ellipsis");
}

TEST_F(LayoutTest, TheEndViewsFitWithLongTexts) {
  run(R"(mv.state({"phase":"installing","version":"10.12.103+build.20250611","from_version":"10.11.998"}))");
  run(R"(mv.done({"version":"10.12.103+build.20250611","updated":true}))");
  EXPECT_EQ(run("__layout()"), "[]");
  run(R"(mv.current({"version":"10.12.103+build.20250611"}))");
  EXPECT_EQ(run("__layout()"), "[]");
  run(R"(mv.failed({"sentence":"Morvane is running. Close every Morvane window and then choose Try again to continue.",)"
      R"("todo":"Check this computer's connection and the proxy settings, then try again."}))");
  EXPECT_EQ(run("__layout()"), "[]");
  run("mv.failed()");
  EXPECT_EQ(run("__layout()"), "[]");
}

}  // namespace
}  // namespace page_test
