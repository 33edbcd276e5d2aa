// The themes: the bar and the foot follow the system's scheme or mv.theme;
// the stage and the end views stay dark. And the reduced-motion preference.
#include "setup/page/tests/page_fixture.hpp"

namespace page_test {
namespace {

// The background colours of the bar, the foot, the stage and an end view.
constexpr const char* colours = R"js(
(function () {
  function bg(selector) { return getComputedStyle(document.querySelector(selector)).backgroundColor; }
  return [bg("#bar"), bg("#foot"), bg("#stage"), getComputedStyle(document.querySelector("#v-done")).backgroundColor];
})()
)js";

constexpr const char* dark = R"x(["rgb(10, 6, 24)","rgb(16, 10, 37)","rgb(13, 8, 32)","rgb(13, 8, 32)"])x";
constexpr const char* light = R"x(["rgb(251, 248, 241)","rgb(244, 239, 229)","rgb(13, 8, 32)","rgb(13, 8, 32)"])x";

class ThemeTest : public PageTest {};

TEST_F(ThemeTest, DarkByDefaultAndLightOnlyWhenAsked) {
  PageWindowOptions options;
  options.prefer_dark = true;
  open(options);
  EXPECT_EQ(run(colours), dark);
  EXPECT_EQ(text("getComputedStyle(document.getElementById('phase')).color"), "rgb(245, 241, 255)");

  run(R"(mv.theme("light"))");
  EXPECT_EQ(run(colours), light);
  EXPECT_EQ(text("getComputedStyle(document.getElementById('phase')).color"), "rgb(27, 18, 56)");

  run(R"(mv.theme("dark"))");
  EXPECT_EQ(run(colours), dark);
  run("mv.theme()");
  EXPECT_EQ(run(colours), dark);
  EXPECT_EQ(run("document.documentElement.hasAttribute('data-theme')"), "false");
}

TEST_F(ThemeTest, TheSystemsLightSchemeTurnsTheBarAndFootLight) {
  PageWindowOptions options;
  options.prefer_dark = false;
  open(options);
  EXPECT_EQ(run(colours), light);

  run(R"(mv.theme("dark"))");
  EXPECT_EQ(run(colours), dark);
  EXPECT_EQ(text("document.documentElement.getAttribute('data-theme')"), "dark");

  // An empty or unknown name gives the choice back to the system.
  run(R"(mv.theme(""))");
  EXPECT_EQ(run(colours), light);
  run(R"(mv.theme("dark"); mv.theme("sepia"))");
  EXPECT_EQ(run(colours), light);
  EXPECT_EQ(run("document.documentElement.hasAttribute('data-theme')"), "false");
}

TEST_F(ThemeTest, TheStepsDotsTakeTheThemesTeal) {
  PageWindowOptions options;
  options.prefer_dark = false;
  open(options);
  run(R"(mv.state({"phase":"verifying"}))");
  constexpr const char* dots = R"js(
    Array.prototype.map.call(document.querySelectorAll("#steps li"),
      function (li) { return getComputedStyle(li, "::before").backgroundColor; }))js";
  EXPECT_EQ(run(dots), R"x(["rgb(10, 143, 136)","rgb(10, 143, 136)","rgb(124, 92, 255)","rgba(0, 0, 0, 0)"])x");
  run(R"(mv.theme("dark"))");
  EXPECT_EQ(run(dots), R"x(["rgb(20, 212, 196)","rgb(20, 212, 196)","rgb(124, 92, 255)","rgba(0, 0, 0, 0)"])x");
}

TEST_F(ThemeTest, ReducedMotionStopsEveryAnimation) {
  PageWindowOptions options;
  options.reduce_motion = true;
  open(options);
  // The waiting bar: a still, full-width fill at 35 %.
  EXPECT_EQ(run(R"((function () {
                     var fill = getComputedStyle(document.getElementById("fill"));
                     var track = document.getElementById("track").getBoundingClientRect().width;
                     return [fill.animationName, fill.opacity,
                             document.getElementById("fill").getBoundingClientRect().width === track]; })())"),
            R"(["none","0.35",true])");
  // Nothing in the page runs an animation, the scenes and the seals included.
  run("mv.done()");
  window().pump_for(milliseconds(200));
  EXPECT_EQ(run("document.getAnimations().length"), "0");
  // The seal is drawn whole.
  EXPECT_EQ(text("getComputedStyle(document.querySelector('#v-done .ring')).strokeDashoffset"), "0px");
}

TEST_F(ThemeTest, WithMotionTheWaitingBarSlides) {
  open();
  EXPECT_EQ(run(R"((function () {
                     var fill = getComputedStyle(document.getElementById("fill"));
                     var share = parseFloat(fill.width) / document.getElementById("track").clientWidth;
                     return [fill.animationName, fill.animationDuration, fill.animationIterationCount,
                             Math.round(share * 100)]; })())"),
            R"(["slide","1.5s","infinite",32])");
}

}  // namespace
}  // namespace page_test
