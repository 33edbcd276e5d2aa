// A script for document start that replaces setInterval and clearInterval
// with a clock that the test turns by hand: window.__intervals() lists the
// running intervals (id and delay) and window.__fire() runs each one once.
// setTimeout stays real.
#pragma once

namespace page_test {

inline constexpr const char* fake_interval_script = R"js(
(function () {
  var running = {};
  var next = 1;
  window.setInterval = function (callback, delay) {
    var id = next++;
    running[id] = { callback: callback, delay: delay };
    return id;
  };
  window.clearInterval = function (id) { delete running[id]; };
  window.__intervals = function () {
    return Object.keys(running).map(function (id) { return { id: Number(id), delay: running[id].delay }; });
  };
  window.__fire = function () {
    Object.keys(running).forEach(function (id) { if (running[id]) running[id].callback(); });
  };
})();
)js";

}  // namespace page_test
