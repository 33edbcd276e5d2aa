#include "setup/window/page_scripts.hpp"

#include <algorithm>

#include <fmt/format.h>

#include "platform/text.hpp"

namespace setup {

namespace {

// The phase as the page names it.
std::string_view phase_name(SetupPhase phase) {
  switch (phase) {
    case SetupPhase::Downloading:
      return "downloading";
    case SetupPhase::Verifying:
      return "verifying";
    case SetupPhase::Installing:
      return "installing";
    case SetupPhase::Starting:
      break;
  }
  return "starting";
}

void replace_all(std::string& text, std::string_view from, std::string_view to) {
  std::size_t at = 0;
  while ((at = text.find(from, at)) != std::string::npos) {
    text.replace(at, from.size(), to);
    at += to.size();
  }
}

}  // namespace

std::string quote_js_string(std::string_view text) {
  return platform::quote_code_points(text, [](std::string& out, char32_t c) {
    switch (c) {
      case U'"':
        out += "\\\"";
        return true;
      case U'\\':
        out += "\\\\";
        return true;
      case U'\n':
        out += "\\n";
        return true;
      case U'\r':
        out += "\\r";
        return true;
      case U'\t':
        out += "\\t";
        return true;
      case U'<':
        out += "\\u003c";
        return true;
      case U'\u2028':
        out += "\\u2028";
        return true;
      case U'\u2029':
        out += "\\u2029";
        return true;
      default:
        if (c >= 0x20) return false;
        out += fmt::format("\\u{:04x}", static_cast<unsigned>(c));
        return true;
    }
  });
}

std::string build_progress_script(const SetupStatus& status) {
  std::string script = fmt::format("mv.state({{\"phase\":\"{}\"", phase_name(status.phase));
  if (status.version) script += ",\"version\":" + quote_js_string(*status.version);
  if (status.from_version) script += ",\"from_version\":" + quote_js_string(*status.from_version);
  if (status.total_bytes > 0) {
    const std::uint64_t done = std::min(status.done_bytes, status.total_bytes);
    const double fraction = static_cast<double>(done) / static_cast<double>(status.total_bytes);
    script += fmt::format(",\"fraction\":{:.4f},\"done_bytes\":{},\"total_bytes\":{}", fraction, done,
                          status.total_bytes);
  }
  if (status.files_total > 0) {
    script += fmt::format(",\"files_done\":{},\"files_total\":{}", std::min(status.files_done, status.files_total),
                          status.files_total);
  }
  script += "})";
  return script;
}

std::string theme_script(bool light) { return light ? R"(mv.theme("light"))" : R"(mv.theme("dark"))"; }

std::string done_script(std::string_view version, bool updated) {
  return fmt::format("mv.done({{\"version\":{},\"updated\":{}}})", quote_js_string(version), updated);
}

std::string current_script(std::string_view version) {
  return fmt::format("mv.current({{\"version\":{}}})", quote_js_string(version));
}

FailureText split_failure_text(std::string_view text) {
  const std::size_t at = text.rfind(". ");
  if (at == std::string_view::npos) return {std::string(text), std::nullopt};
  std::string todo(text.substr(at + 2));
  replace_all(todo, "Run the installer again", "Try again");
  replace_all(todo, "run the installer again", "try again");
  return {std::string(text.substr(0, at + 1)), std::move(todo)};
}

std::string failed_script(std::string_view failure_text) {
  const FailureText split = split_failure_text(failure_text);
  std::string script = "mv.failed({\"sentence\":" + quote_js_string(split.sentence);
  if (split.todo) script += ",\"todo\":" + quote_js_string(*split.todo);
  script += "})";
  return script;
}

}  // namespace setup
