// The scene rotation: every 7,000 ms the next scene, only in the work view,
// going on from the last scene shown after a retry. The page's intervals run
// on a hand-turned clock (fake_interval.hpp), so each turn is one tick.
#include "setup/page/tests/fake_interval.hpp"
#include "setup/page/tests/page_fixture.hpp"

namespace page_test {
namespace {

// The visible scene and the lit indicator, as indexes (-1 for none), and
// how many scenes and indicators are marked.
constexpr const char* current_scene = R"js(
(function () {
  function on(list) { return Array.prototype.map.call(list, function (e) { return e.classList.contains("on"); }); }
  var scenes = on(document.querySelectorAll(".scene"));
  var marks = on(document.querySelectorAll("#dots i"));
  return [scenes.indexOf(true), marks.indexOf(true),
          scenes.filter(Boolean).length, marks.filter(Boolean).length, marks.length];
})()
)js";

class RotationTest : public PageTest {
 protected:
  void SetUp() override {
    PageWindowOptions options;
    options.scripts.push_back(fake_interval_script);
    open(options);
  }
  std::string intervals() { return run("__intervals().map(function (t) { return t.delay; })"); }
  void tick() { run("__fire()"); }
};

TEST_F(RotationTest, SixScenesTurnEverySevenSecondsAndWrap) {
  EXPECT_EQ(run(current_scene), "[0,0,1,1,6]");
  EXPECT_EQ(intervals(), "[7000]");
  for (int expected : {1, 2, 3, 4, 5, 0, 1}) {
    tick();
    EXPECT_EQ(run(current_scene), "[" + std::to_string(expected) + "," + std::to_string(expected) + ",1,1,6]");
  }
}

TEST_F(RotationTest, StatesInTheWorkViewDoNotRestartTheTimer) {
  const std::string first = run("__intervals()[0].id");
  for (int i = 0; i < 5; ++i) run(R"(mv.state({"phase":"downloading","fraction":0.5}))");
  EXPECT_EQ(run("__intervals().length"), "1");
  EXPECT_EQ(run("__intervals()[0].id"), first);
}

TEST_F(RotationTest, StopsOutsideTheWorkAndGoesOnFromTheLastScene) {
  tick();
  tick();
  EXPECT_EQ(run(current_scene), "[2,2,1,1,6]");

  for (const char* end : {"mv.done()", "mv.current()", "mv.failed()"}) {
    run(end);
    EXPECT_EQ(intervals(), "[]") << end;
    tick();
    EXPECT_EQ(run(current_scene), "[2,2,1,1,6]") << end;
  }

  // The retry: back to the work, a new 7,000 ms timer, from scene 3 on.
  run(R"(mv.state({"phase":"starting"}))");
  EXPECT_EQ(intervals(), "[7000]");
  EXPECT_EQ(run(current_scene), "[2,2,1,1,6]");
  tick();
  EXPECT_EQ(run(current_scene), "[3,3,1,1,6]");
}

TEST_F(RotationTest, OnlyTheVisibleSceneIsShown) {
  constexpr const char* seen = R"js(
    Array.prototype.map.call(document.querySelectorAll(".scene"), function (s) {
      var style = getComputedStyle(s);
      return [style.visibility, style.opacity, s.getAttribute("aria-hidden"), s.classList.contains("live")].join(" ");
    }))js";
  const std::string expected =
      R"(["hidden 0 true false","visible 1 false true","hidden 0 true false","hidden 0 true false",)"
      R"("hidden 0 true false","hidden 0 true false"])";
  tick();
  // Past the cross-fade, after which the scene that left also stops moving.
  window().pump_until([&] { return run(seen) == expected; }, milliseconds(3000));
  EXPECT_EQ(run(seen), expected);
}

// Each scene's drawing moves on its own cycle while it is shown, and no
// other scene moves: [scene, the cycles of its running animations, the
// number of animations running outside it].
constexpr const char* motion = R"js(
(function () {
  var scenes = Array.prototype.slice.call(document.querySelectorAll(".scene"));
  var at = scenes.findIndex(function (s) { return s.classList.contains("on"); });
  var inside = {}, outside = 0;
  document.getAnimations().forEach(function (a) {
    var target = a.effect && a.effect.target;
    if (!target || !target.closest || !target.closest(".scene")) return;
    if (!scenes[at].contains(target)) { outside++; return; }
    if (a.playState !== "running") return;
    var t = a.effect.getTiming();
    if (t.iterations === Infinity && t.duration >= 3000) inside[t.duration + (t.delay ? "+" + t.delay : "")] = true;
  });
  return [at, Object.keys(inside).sort().join(" "), outside];
})()
)js";

TEST_F(RotationTest, TheVisibleSceneMovesOnItsCycle) {
  const char* cycles[] = {"7000", "3200 3200+500", "6000", "7000", "6000", "4500"};
  for (int scene = 0; scene < 6; ++scene) {
    if (scene > 0) tick();
    const std::string expected = "[" + std::to_string(scene) + ",\"" + cycles[scene] + "\",0]";
    // The scene that left goes on moving while it fades out (0.7 s).
    window().pump_until([&] { return run(motion) == expected; }, milliseconds(3000));
    EXPECT_EQ(run(motion), expected);
  }
}

}  // namespace
}  // namespace page_test
