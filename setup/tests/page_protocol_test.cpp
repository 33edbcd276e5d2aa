// The texts of the page protocol: the scripts the host sends, the splash's
// status line, the failure text cut for the failed view, and the messages
// the page posts.
#include <gtest/gtest.h>

#include "setup/window/page_message.hpp"
#include "setup/window/page_scripts.hpp"
#include "setup/window/status_line.hpp"

namespace {

using setup::PageMessage;
using setup::SetupPhase;
using setup::SetupStatus;

TEST(QuoteJsString, EscapesWhatCouldBreakOutOfTheLiteralOrTheScript) {
  const struct {
    std::string text;
    std::string quoted;
  } cases[] = {
      {"", R"("")"},
      {"1.2.0", R"("1.2.0")"},
      {"say \"hi\"", R"("say \"hi\"")"},
      {"C:\\Users\\x", R"("C:\\Users\\x")"},
      {"a\nb\rc\td", R"("a\nb\rc\td")"},
      {"</script><b>", R"("\u003c/script>\u003cb>")"},
      {"line\u2028para\u2029end", R"("line\u2028para\u2029end")"},
      {"esc\x1b bell\x07 nul" + std::string(1, '\0') + "!", R"("esc\u001b bell\u0007 nul\u0000!")"},
      {"\x1f \x7f", "\"\\u001f \x7f\""},
      {"caf\u00e9 \u2014 \u2026 \u0645\u0648\u0631\u0648\u0627\u0646 \U0001F600",
       "\"caf\u00e9 \u2014 \u2026 \u0645\u0648\u0631\u0648\u0627\u0646 \U0001F600\""},
      {"'single' `back`", R"("'single' `back`")"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(setup::quote_js_string(c.text), c.quoted) << c.text;
  }
}

TEST(BuildProgressScript, WritesThePhaseAndOnlyTheMembersThatTheStatusHas) {
  SetupStatus download;
  download.phase = SetupPhase::Downloading;
  download.version = "1.2.0";
  download.from_version = "0.9.0";
  download.done_bytes = 1'500'000;
  download.total_bytes = 3'000'000;
  download.files_done = 2;
  download.files_total = 5;
  EXPECT_EQ(setup::build_progress_script(download),
            R"(mv.state({"phase":"downloading","version":"1.2.0","from_version":"0.9.0","fraction":0.5000,)"
            R"("done_bytes":1500000,"total_bytes":3000000,"files_done":2,"files_total":5}))");

  EXPECT_EQ(setup::build_progress_script(SetupStatus{}), R"(mv.state({"phase":"starting"}))");

  SetupStatus verifying;
  verifying.phase = SetupPhase::Verifying;
  verifying.version = "2.0.0";
  verifying.done_bytes = 10;  // no total: no fraction and no byte counts
  verifying.files_done = 3;   // no file total: no file counts
  EXPECT_EQ(setup::build_progress_script(verifying), R"(mv.state({"phase":"verifying","version":"2.0.0"}))");

  SetupStatus installing;
  installing.phase = SetupPhase::Installing;
  installing.from_version = "1.0.0";
  EXPECT_EQ(setup::build_progress_script(installing), R"(mv.state({"phase":"installing","from_version":"1.0.0"}))");
}

TEST(BuildProgressScript, ClampsDoneCountsToTheirTotalsAndRoundsTheFraction) {
  SetupStatus over;
  over.phase = SetupPhase::Downloading;
  over.done_bytes = 5000;
  over.total_bytes = 4000;
  over.files_done = 9;
  over.files_total = 8;
  EXPECT_EQ(setup::build_progress_script(over),
            R"(mv.state({"phase":"downloading","fraction":1.0000,"done_bytes":4000,"total_bytes":4000,)"
            R"("files_done":8,"files_total":8}))");

  SetupStatus third;
  third.phase = SetupPhase::Downloading;
  third.done_bytes = 1;
  third.total_bytes = 3;
  EXPECT_EQ(setup::build_progress_script(third),
            R"(mv.state({"phase":"downloading","fraction":0.3333,"done_bytes":1,"total_bytes":3}))");
  third.done_bytes = 2;
  EXPECT_EQ(setup::build_progress_script(third),
            R"(mv.state({"phase":"downloading","fraction":0.6667,"done_bytes":2,"total_bytes":3}))");
}

TEST(BuildProgressScript, QuotesTheVersionsItCarries) {
  SetupStatus odd;
  odd.version = "1.0.0+\"x\"</script>";
  EXPECT_EQ(setup::build_progress_script(odd), R"(mv.state({"phase":"starting","version":"1.0.0+\"x\"\u003c/script>"}))");
}

TEST(OutcomeScripts, CarryTheQuotedVersionAndTheSplitFailure) {
  EXPECT_EQ(setup::done_script("1.2.0", true), R"(mv.done({"version":"1.2.0","updated":true}))");
  EXPECT_EQ(setup::done_script("1.2.0", false), R"(mv.done({"version":"1.2.0","updated":false}))");
  EXPECT_EQ(setup::current_script("1.2.0"), R"(mv.current({"version":"1.2.0"}))");
  EXPECT_EQ(setup::failed_script("Morvane could not be installed. Run the installer again."),
            R"(mv.failed({"sentence":"Morvane could not be installed.","todo":"Try again."}))");
  EXPECT_EQ(setup::failed_script("The installation was stopped; nothing was installed."),
            R"(mv.failed({"sentence":"The installation was stopped; nothing was installed."}))");
  EXPECT_EQ(setup::failed_script("Close \"Morvane\" <now>. Then\nretry."),
            R"(mv.failed({"sentence":"Close \"Morvane\" \u003cnow>.","todo":"Then\nretry."}))");
}

TEST(SplitFailureText, CutsAtTheLastFullStopAndSpaceAndRewordsTheTodo) {
  using setup::FailureText;
  const struct {
    std::string text;
    FailureText split;
  } cases[] = {
      {"Morvane could not be installed. Run the installer again.",
       {"Morvane could not be installed.", "Try again."}},
      {"The installation was stopped; nothing was installed.",
       {"The installation was stopped; nothing was installed.", std::nullopt}},
      {"Morvane's download server could not be reached. Check this computer's connection and run the installer "
       "again.",
       {"Morvane's download server could not be reached.", "Check this computer's connection and try again."}},
      // The last ". " counts, not the first.
      {"One. Two. Run the installer again, or run the installer again later.",
       {"One. Two.", "Try again, or try again later."}},
      {"No full stop and space.", {"No full stop and space.", std::nullopt}},
      {"Ends with a space. ", {"Ends with a space.", ""}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(setup::split_failure_text(c.text), c.split) << c.text;
  }
}

TEST(FormatStatusLine, NamesThePhaseWithTheVersionAndRoundsMegabytesUp) {
  const auto status = [](SetupPhase phase, std::optional<std::string> version, std::uint64_t done,
                         std::uint64_t total) {
    SetupStatus s;
    s.phase = phase;
    s.version = std::move(version);
    s.done_bytes = done;
    s.total_bytes = total;
    return s;
  };
  const struct {
    SetupStatus status;
    std::string line;
  } cases[] = {
      {status(SetupPhase::Starting, std::nullopt, 0, 0), "Asking for the newest Morvane\u2026"},
      {status(SetupPhase::Starting, "1.2.0", 5, 9), "Asking for the newest Morvane\u2026"},
      {status(SetupPhase::Downloading, "1.2.0", 1, 2'500'000), "Downloading Morvane 1.2.0 \u2014 1 of 3 MB"},
      {status(SetupPhase::Downloading, "1.2.0", 0, 0), "Downloading Morvane 1.2.0 \u2014 0 of 0 MB"},
      {status(SetupPhase::Downloading, "1.2.0", 1'000'000, 2'000'000), "Downloading Morvane 1.2.0 \u2014 1 of 2 MB"},
      {status(SetupPhase::Downloading, "1.2.0", 1'000'001, 2'000'001), "Downloading Morvane 1.2.0 \u2014 2 of 3 MB"},
      {status(SetupPhase::Downloading, "1.2.0", UINT64_MAX, UINT64_MAX),
       "Downloading Morvane 1.2.0 \u2014 18446744073710 of 18446744073710 MB"},
      {status(SetupPhase::Downloading, std::nullopt, 1, 1), "Downloading Morvane  \u2014 1 of 1 MB"},
      {status(SetupPhase::Verifying, "1.2.0", 0, 0), "Checking Morvane 1.2.0\u2026"},
      {status(SetupPhase::Installing, "1.2.0", 0, 0), "Installing Morvane 1.2.0\u2026"},
      {status(SetupPhase::Installing, std::nullopt, 0, 0), "Installing Morvane \u2026"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(setup::format_status_line(c.status), c.line);
  }
}

TEST(ParsePageMessageType, FindsTheTypeWithoutAJsonParser) {
  const struct {
    std::string json;
    std::optional<PageMessage> type;
  } cases[] = {
      {R"({"type":"close"})", PageMessage::Close},
      {R"({ "type" : "close" })", PageMessage::Close},
      {R"({"x":1,"type":"close"})", PageMessage::Close},
      {R"({"type" : "retry"})", PageMessage::Retry},
      {R"({"type":"retry","x":1})", PageMessage::Retry},
      {"{\"type\"\t\n:\u00a0\u2003\"ready\"}", PageMessage::Ready},
      {R"({"type":"open"})", PageMessage::Open},
      {R"({"type":"minimize"})", PageMessage::Minimize},
      {R"({"type":"details"})", PageMessage::Details},
      {R"({"type":"drag"})", PageMessage::Drag},
      {R"({"kind":"retry"})", std::nullopt},
      {R"({"type":"Retry"})", std::nullopt},
      {R"({"type":"Close"})", std::nullopt},
      {R"({"type":"minimise"})", std::nullopt},
      {R"({"type":"close )", std::nullopt},
      {R"({"type":close})", std::nullopt},
      {R"({"type"="close"})", std::nullopt},
      {R"({"type":)", std::nullopt},
      {R"({"type")", std::nullopt},
      {R"({"type":" close"})", std::nullopt},
      {R"({"type":"clo\"se"})", std::nullopt},
      {R"("close")", std::nullopt},
      {"", std::nullopt},
      // Only the first "type" counts.
      {R"({"type":1,"x":{"type":"close"}})", std::nullopt},
      {R"({"type":"ready","type":"close"})", PageMessage::Ready},
      // "type" inside another string is still the first occurrence.
      {R"({"note":"type","type":"close"})", std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(setup::parse_page_message_type(c.json), c.type) << c.json;
  }
}

}  // namespace
