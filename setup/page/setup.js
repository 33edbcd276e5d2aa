// The setup page's script, joined into setup.html by the build.
(function () {
  "use strict";

  var PHASES = ["starting", "downloading", "verifying", "installing"];
  var WORDS = {
    starting: "Checking the release…",
    downloading: "Downloading",
    verifying: "Verifying every file…",
    installing: "Installing…"
  };
  var MIB = 1048576;
  var ROTATION_MS = 7000;
  var FADE_MS = 700;

  var body = document.body;
  var root = document.documentElement;
  function $(id) { return document.getElementById(id); }

  // The version being updated: set by a state that names one and never
  // cleared, so the page stays an update's page for its whole life.
  var from = "";

  function members(value) { return value !== null && typeof value === "object" ? value : {}; }
  function text(value) { return typeof value === "string" ? value : ""; }
  function count(value) { return typeof value === "number" && isFinite(value) ? value : 0; }

  function post(type) {
    try {
      var channel = window.chrome && window.chrome.webview;
      if (channel && typeof channel.postMessage === "function") channel.postMessage({ type: type });
    } catch (ignored) {
      // The host is gone or refuses; the page goes on.
    }
  }

  // Megabytes of 1,048,576 bytes: one decimal below 100 MB, none from there.
  function megabytes(bytes) {
    var mb = bytes / MIB;
    return bytes < 100 * MIB ? mb.toFixed(1) : String(Math.round(mb));
  }

  // The scenes and their rotation.
  var scenes = Array.prototype.slice.call(document.querySelectorAll(".scene"));
  var marks = [];
  var fading = [];
  var shown = 0;
  var rotation = 0;

  function showScene(index) {
    scenes.forEach(function (scene, i) {
      var on = i === index;
      if (on) {
        clearTimeout(fading[i]);
        scene.classList.add("live");
      } else if (scene.classList.contains("on")) {
        // Keeps moving while it fades out, then rests.
        fading[i] = setTimeout(function () { scene.classList.remove("live"); }, FADE_MS);
      }
      scene.classList.toggle("on", on);
      scene.setAttribute("aria-hidden", on ? "false" : "true");
      marks[i].classList.toggle("on", on);
    });
    shown = index;
  }

  function stopRotation() {
    if (rotation) clearInterval(rotation);
    rotation = 0;
  }

  function startRotation() {
    stopRotation();
    rotation = setInterval(function () { showScene((shown + 1) % scenes.length); }, ROTATION_MS);
  }

  function setView(name, update) {
    if (body.getAttribute("data-view") !== name) {
      body.setAttribute("data-view", name);
      stopRotation();
      if (name === "work") startRotation();
    }
    $("badge").textContent = update ? "Update" : "Setup";
  }

  function showBar(fraction) {
    var track = $("track");
    var fill = $("fill");
    if (typeof fraction === "number" && fraction >= 0) {
      var f = Math.min(1, fraction);
      track.classList.remove("waiting");
      track.setAttribute("aria-valuenow", String(Math.round(f * 100)));
      fill.style.width = (f * 100).toFixed(1) + "%";
    } else {
      track.classList.add("waiting");
      track.removeAttribute("aria-valuenow");
      fill.style.width = "";
    }
  }

  function showSteps(phase) {
    var at = PHASES.indexOf(phase);
    Array.prototype.forEach.call(document.querySelectorAll("#steps li"), function (step) {
      var i = PHASES.indexOf(step.getAttribute("data-p"));
      step.classList.toggle("past", i < at);
      step.classList.toggle("now", i === at);
      if (i === at) step.setAttribute("aria-current", "step");
      else step.removeAttribute("aria-current");
    });
  }

  var mv = {
    state: function (arg) {
      var s = members(arg);
      var phase = PHASES.indexOf(s.phase) >= 0 ? s.phase : "starting";
      if (text(s.from_version)) from = s.from_version;
      setView("work", from !== "");
      $("phase").textContent = WORDS[phase];

      var version = text(s.version);
      $("version").textContent = version ? (from ? "Morvane " + from + " \u2192 " + version : "Morvane " + version) : "";

      showBar(s.fraction);

      var parts = [];
      if (typeof s.total_bytes === "number" && s.total_bytes > 0) {
        parts.push(megabytes(count(s.done_bytes)) + " of " + megabytes(s.total_bytes) + " MB");
      }
      if (typeof s.files_total === "number" && s.files_total > 0) {
        parts.push(count(s.files_done) + " of " + s.files_total + " files");
      }
      $("numbers").textContent = parts.join(" · ");

      showSteps(phase);
    },

    done: function (arg) {
      var d = members(arg);
      var version = text(d.version);
      var update = d.updated === true || from !== "";
      $("done-title").textContent = "Morvane" + (version ? " " + version : "") + (update ? " is up to date" : " is installed");
      $("done-text").textContent = update
        ? "Your install was updated. Your charts, recordings and settings are as you left them."
        : "It is in your own profile, with a shortcut in the Start menu and on the desktop.";
      setView("done", update);
    },

    current: function (arg) {
      var version = text(members(arg).version);
      $("current-title").textContent = "Morvane" + (version ? " " + version : "") + " is already installed";
      setView("current", false);
    },

    failed: function (arg) {
      var f = members(arg);
      $("failed-title").textContent = text(f.sentence) || "Morvane could not be installed.";
      var todo = $("failed-todo");
      todo.textContent = text(f.todo);
      todo.hidden = !text(f.todo);
      $("failed-kept").textContent = text(f.kept) ||
        (from ? "Your installed Morvane is as it was." : "Nothing was changed on this computer.");
      setView("failed", from !== "");
    },

    theme: function (name) {
      if (name === "dark" || name === "light") root.setAttribute("data-theme", name);
      else root.removeAttribute("data-theme");
    }
  };

  // What the user does.
  document.addEventListener("click", function (event) {
    var target = event.target;
    var marked = target && target.closest ? target.closest("[data-send]") : null;
    if (marked) post(marked.getAttribute("data-send"));
  });
  $("bar").addEventListener("mousedown", function (event) {
    if (event.button !== 0) return;
    if (event.target && event.target.closest && event.target.closest("button")) return;
    post("drag");
  });
  document.addEventListener("keydown", function (event) {
    if (event.key === "Escape" && body.getAttribute("data-view") !== "work") post("close");
  });
  document.addEventListener("contextmenu", function (event) { event.preventDefault(); });

  // Loading.
  var dots = $("dots");
  scenes.forEach(function () { marks.push(dots.appendChild(document.createElement("i"))); });
  showScene(0);
  startRotation();
  window.mv = mv;
  mv.state({ phase: "starting" });
  post("ready");
})();
