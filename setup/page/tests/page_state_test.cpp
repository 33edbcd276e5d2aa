// mv.state: the foot's phase words, version line, numbers, bar and steps.
#include <cctype>
#include <ostream>
#include <string>

#include "setup/page/tests/page_fixture.hpp"

namespace page_test {
namespace {

// What the foot shows, as the page's DOM holds it.
constexpr const char* foot_facts = R"js(
(function () {
  var track = document.getElementById("track");
  return {
    phase: document.getElementById("phase").textContent,
    version: document.getElementById("version").textContent,
    numbers: document.getElementById("numbers").textContent,
    waiting: track.classList.contains("waiting"),
    valuenow: track.getAttribute("aria-valuenow"),
    width: document.getElementById("fill").style.width,
    steps: Array.prototype.map.call(document.querySelectorAll("#steps li"),
                                    function (li) { return li.className || "-"; }).join(" ")
  };
})()
)js";

struct StateCase {
  const char* name;
  const char* call;
  const char* facts;  // the JSON of foot_facts
};

// The fill's width reads back as the engine writes CSS percentages
// ("50.0%" is kept as "50%").
const StateCase state_cases[] = {
    {"no argument", "mv.state()",
     R"({"phase":"Checking the release…","version":"","numbers":"","waiting":true,"valuenow":null,"width":"","steps":"now - - -"})"},
    {"null", "mv.state(null)",
     R"({"phase":"Checking the release…","version":"","numbers":"","waiting":true,"valuenow":null,"width":"","steps":"now - - -"})"},
    {"an unknown phase counts as starting", R"(mv.state({"phase":"copying","version":"1.2.0"}))",
     R"({"phase":"Checking the release…","version":"Morvane 1.2.0","numbers":"","waiting":true,"valuenow":null,"width":"","steps":"now - - -"})"},
    {"one byte under 100 MB keeps its decimal",
     R"(mv.state({"phase":"downloading","fraction":0.5,"done_bytes":52428800,"total_bytes":104857599}))",
     R"({"phase":"Downloading","version":"","numbers":"50.0 of 100.0 MB","waiting":false,"valuenow":"50","width":"50%","steps":"past now - -"})"},
    {"100 MB and more have none",
     R"(mv.state({"phase":"downloading","fraction":1,"done_bytes":104857600,"total_bytes":104857600}))",
     R"({"phase":"Downloading","version":"","numbers":"100 of 100 MB","waiting":false,"valuenow":"100","width":"100%","steps":"past now - -"})"},
    {"megabytes round to nearest",
     R"(mv.state({"phase":"downloading","fraction":0.25,"done_bytes":52377,"total_bytes":157286399}))",
     R"({"phase":"Downloading","version":"","numbers":"0.0 of 150 MB","waiting":false,"valuenow":"25","width":"25%","steps":"past now - -"})"},
    {"gigabytes stay in megabytes",
     R"(mv.state({"phase":"downloading","fraction":0.5,"done_bytes":805306368,"total_bytes":1610612736}))",
     R"({"phase":"Downloading","version":"","numbers":"768 of 1536 MB","waiting":false,"valuenow":"50","width":"50%","steps":"past now - -"})"},
    {"zero of 50 MB", R"(mv.state({"phase":"downloading","fraction":0,"done_bytes":0,"total_bytes":52428800}))",
     R"({"phase":"Downloading","version":"","numbers":"0.0 of 50.0 MB","waiting":false,"valuenow":"0","width":"0%","steps":"past now - -"})"},
    {"a missing done count is 0", R"(mv.state({"phase":"downloading","total_bytes":52428800,"files_total":5}))",
     R"({"phase":"Downloading","version":"","numbers":"0.0 of 50.0 MB · 0 of 5 files","waiting":true,"valuenow":null,"width":"","steps":"past now - -"})"},
    {"bytes and files joined", R"(mv.state({"phase":"downloading","fraction":0.5,"done_bytes":1048576,"total_bytes":2097152,"files_done":2,"files_total":5}))",
     R"({"phase":"Downloading","version":"","numbers":"1.0 of 2.0 MB · 2 of 5 files","waiting":false,"valuenow":"50","width":"50%","steps":"past now - -"})"},
    {"no totals, no numbers", R"(mv.state({"phase":"downloading","done_bytes":5,"total_bytes":0,"files_done":1,"files_total":0}))",
     R"({"phase":"Downloading","version":"","numbers":"","waiting":true,"valuenow":null,"width":"","steps":"past now - -"})"},
    {"a fraction above 1 fills the bar", R"(mv.state({"phase":"downloading","fraction":1.5}))",
     R"({"phase":"Downloading","version":"","numbers":"","waiting":false,"valuenow":"100","width":"100%","steps":"past now - -"})"},
    {"one decimal, the value rounded whole", R"(mv.state({"phase":"downloading","fraction":0.999}))",
     R"({"phase":"Downloading","version":"","numbers":"","waiting":false,"valuenow":"100","width":"99.9%","steps":"past now - -"})"},
    {"a negative fraction waits", R"(mv.state({"phase":"downloading","fraction":-0.1}))",
     R"({"phase":"Downloading","version":"","numbers":"","waiting":true,"valuenow":null,"width":"","steps":"past now - -"})"},
    {"a fraction in a string waits", R"(mv.state({"phase":"downloading","fraction":"0.5"}))",
     R"({"phase":"Downloading","version":"","numbers":"","waiting":true,"valuenow":null,"width":"","steps":"past now - -"})"},
    {"NaN waits", R"(mv.state({"phase":"downloading","fraction":NaN}))",
     R"({"phase":"Downloading","version":"","numbers":"","waiting":true,"valuenow":null,"width":"","steps":"past now - -"})"},
    {"verifying", R"(mv.state({"phase":"verifying","version":"1.2.0","files_done":3,"files_total":5}))",
     R"({"phase":"Verifying every file…","version":"Morvane 1.2.0","numbers":"3 of 5 files","waiting":true,"valuenow":null,"width":"","steps":"past past now -"})"},
    {"installing", R"(mv.state({"phase":"installing","version":"1.2.0"}))",
     R"({"phase":"Installing…","version":"Morvane 1.2.0","numbers":"","waiting":true,"valuenow":null,"width":"","steps":"past past past now"})"},
};

void PrintTo(const StateCase& c, std::ostream* out) { *out << c.name; }

class StateTest : public PageTest, public ::testing::WithParamInterface<StateCase> {};

TEST_P(StateTest, FootShowsTheState) {
  open();
  // Each case starts from a state with every part filled, so that the case
  // shows what it clears as well as what it sets.
  run(R"(mv.state({"phase":"installing","version":"9.9.9","fraction":0.3,"done_bytes":1,"total_bytes":2,"files_done":1,"files_total":2}))");
  run(GetParam().call);
  EXPECT_EQ(run(foot_facts), GetParam().facts);
}

INSTANTIATE_TEST_SUITE_P(Cases, StateTest, ::testing::ValuesIn(state_cases),
                         [](const ::testing::TestParamInfo<StateCase>& info) {
                           std::string name;
                           for (const char* c = info.param.name; *c; ++c) {
                             name += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
                           }
                           return name;
                         });

TEST_F(StateTest, TheBarIsAProgressBarFrom0To100) {
  open();
  EXPECT_EQ(run(R"(["role","aria-valuemin","aria-valuemax"].map(function (a) {
                     return document.getElementById("track").getAttribute(a); }))"),
            R"(["progressbar","0","100"])");
}

TEST_F(StateTest, TheLoadedPageShowsTheStartingState) {
  open();
  EXPECT_EQ(run(foot_facts),
            R"({"phase":"Checking the release…","version":"","numbers":"","waiting":true,"valuenow":null,"width":"","steps":"now - - -"})");
  EXPECT_EQ(text("document.body.getAttribute('data-view')"), "work");
  EXPECT_EQ(text("document.getElementById('badge').textContent"), "Setup");
}

// The version being updated is kept for the page's life once a state has
// named it, whatever later calls leave out.
TEST_F(StateTest, TheFromVersionIsKeptForThePagesLife) {
  open();
  run(R"(mv.state({"phase":"downloading","version":"1.2.0","from_version":"0.9.0"}))");
  EXPECT_EQ(text("document.getElementById('version').textContent"), "Morvane 0.9.0 \u2192 1.2.0");
  EXPECT_EQ(text("document.getElementById('badge').textContent"), "Update");

  run(R"(mv.state({"phase":"verifying","version":"1.2.0"}))");
  run(R"(mv.state({"phase":"installing","version":"1.2.0","from_version":""}))");
  EXPECT_EQ(text("document.getElementById('version').textContent"), "Morvane 0.9.0 \u2192 1.2.0");
  EXPECT_EQ(text("document.getElementById('badge').textContent"), "Update");

  // Without a version there is no version line, from or not.
  run(R"(mv.state({"phase":"installing"}))");
  EXPECT_EQ(text("document.getElementById('version').textContent"), "");
  EXPECT_EQ(text("document.getElementById('badge').textContent"), "Update");

  // Installed without "updated": still an update.
  run(R"(mv.done({"version":"1.2.0"}))");
  EXPECT_EQ(text("document.getElementById('done-title').textContent"), "Morvane 1.2.0 is up to date");
  EXPECT_EQ(text("document.getElementById('done-text').textContent"),
            "Your install was updated. Your charts, recordings and settings are as you left them.");
  EXPECT_EQ(text("document.getElementById('badge').textContent"), "Update");

  // A failure (after a retry) keeps the update's third line and badge.
  run(R"(mv.state({"phase":"starting"}))");
  run(R"(mv.failed({"sentence":"Morvane could not be updated."}))");
  EXPECT_EQ(text("document.getElementById('failed-kept').textContent"), "Your installed Morvane is as it was.");
  EXPECT_EQ(text("document.getElementById('badge').textContent"), "Update");

  // Already current is never an update.
  run(R"(mv.current({"version":"1.2.0"}))");
  EXPECT_EQ(text("document.getElementById('badge').textContent"), "Setup");
}

TEST_F(StateTest, ALaterFromVersionReplacesTheFirst) {
  open();
  run(R"(mv.state({"phase":"downloading","version":"1.2.0","from_version":"0.9.0"}))");
  run(R"(mv.state({"phase":"downloading","version":"1.2.0","from_version":"1.0.0"}))");
  EXPECT_EQ(text("document.getElementById('version').textContent"), "Morvane 1.0.0 \u2192 1.2.0");
}

}  // namespace
}  // namespace page_test
