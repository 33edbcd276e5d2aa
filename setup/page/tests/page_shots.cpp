// Saves PNGs of the setup page in its views, dark and light, at the window's
// size, for a person to look at:
//
//   platform/tests/with_xvfb.sh page_shots [folder [part of a name]]
//
// The folder is /tmp/morvane-page-shots unless given; with a part of a name,
// only the pictures whose names hold it are taken.
// Each scene is taken twice, a second apart, so that its motion shows.
#include <cstdio>
#include <string>
#include <vector>

#include "platform/fs.hpp"
#include "setup/page/tests/fake_interval.hpp"
#include "setup/page/tests/page_window.hpp"

namespace {

using page_test::milliseconds;
using page_test::PageWindow;
using page_test::PageWindowOptions;

struct Shot {
  std::string name;
  std::string script;  // run on a freshly loaded page
  int settle_ms;       // how long the page moves before the picture
};

const std::string downloading =
    R"(mv.state({"phase":"downloading","version":"1.4.2","fraction":0.4012,"done_bytes":33652736,)"
    R"("total_bytes":83886080,"files_done":3,"files_total":11}))";
const std::string updating =
    R"(mv.state({"phase":"downloading","version":"1.4.2","from_version":"1.3.9","fraction":0.4012,)"
    R"("done_bytes":33652736,"total_bytes":83886080,"files_done":3,"files_total":11}))";

std::vector<Shot> shots() {
  std::vector<Shot> list = {
      {"work-starting", "", 800},
      {"work-downloading", downloading, 1200},
      {"work-update-verifying",
       updating + R"(;mv.state({"phase":"verifying","version":"1.4.2","files_done":7,"files_total":11}))", 1200},
      {"done", R"(mv.done({"version":"1.4.2","updated":false}))", 1800},
      {"done-drawing", R"(mv.done({"version":"1.4.2","updated":false}))", 450},
      {"done-update", updating + R"(;mv.done({"version":"1.4.2","updated":true}))", 1800},
      {"current", R"(mv.current({"version":"1.4.2"}))", 1800},
      {"failed",
       R"(mv.failed({"sentence":"Morvane's download server could not be reached.",)"
       R"("todo":"Check this computer's connection and try again."}))",
       1200},
      {"failed-update", updating + R"(;mv.failed({}))", 1200},
  };
  for (int scene = 0; scene < 6; ++scene) {
    std::string turn;
    for (int i = 0; i < scene; ++i) turn += "__fire();";
    const std::string name = "scene" + std::to_string(scene + 1);
    list.push_back({name + "-a", downloading + ";" + turn, 1500});
    list.push_back({name + "-b", downloading + ";" + turn, 2500});
  }
  // The rule's pulses run in the first second of each 3.2 s cycle.
  list.push_back({"scene2-pulse", downloading + ";__fire();", 3800});
  return list;
}

bool take(const std::string& folder, const std::string& theme, const Shot& shot, bool reduce_motion) {
  PageWindowOptions options;
  options.prefer_dark = theme == "dark";
  options.reduce_motion = reduce_motion;
  options.scripts.push_back(page_test::fake_interval_script);
  PageWindow window(options);
  if (auto loaded = window.load(page_test::embedded_page_text()); !loaded) {
    std::fprintf(stderr, "%s: %s\n", shot.name.c_str(), loaded.error().c_str());
    return false;
  }
  window.wait_for_messages(1);
  if (!shot.script.empty()) {
    if (auto ran = window.eval(shot.script); !ran) {
      std::fprintf(stderr, "%s: %s\n", shot.name.c_str(), ran.error().c_str());
      return false;
    }
  }
  window.pump_for(milliseconds(shot.settle_ms));
  const std::string path = folder + "/" + theme + (reduce_motion ? "-still-" : "-") + shot.name + ".png";
  if (auto saved = window.snapshot(path); !saved) {
    std::fprintf(stderr, "%s: %s\n", shot.name.c_str(), saved.error().c_str());
    return false;
  }
  std::printf("%s\n", path.c_str());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string folder = argc > 1 ? argv[1] : "/tmp/morvane-page-shots";
  if (auto made = platform::create_dirs(platform::path_from_utf8(folder)); !made) {
    std::fprintf(stderr, "cannot make %s: %s\n", folder.c_str(), made.error().text().c_str());
    return 1;
  }
  const std::string only = argc > 2 ? argv[2] : "";
  auto wanted = [&](const std::string& name) { return name.find(only) != std::string::npos; };
  bool ok = true;
  for (const std::string theme : {"dark", "light"}) {
    for (const Shot& shot : shots()) {
      if (wanted(theme + "-" + shot.name)) ok = take(folder, theme, shot, false) && ok;
    }
  }
  for (const Shot& shot : shots()) {
    const bool still = shot.name == "work-starting" || shot.name == "done" || shot.name == "scene4-a";
    if (still && wanted("dark-still-" + shot.name)) ok = take(folder, "dark", shot, true) && ok;
  }
  return ok ? 0 : 1;
}
