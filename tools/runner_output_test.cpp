// What qelt-update writes: escaping of traced bytes and JSON strings, the bars,
// the terminal's in-place redraw, JSON events and the log file, byte for byte.
#include "tools/runner_output.h"

#include <gtest/gtest.h>

#include <sstream>

#include "engines/ms_clock.h"

namespace {

std::string Stamp() { return "2024-05-06 07:08:09.010"; }

TProgressState Bars(int p1, int m1, int p2, int m2, int p3, int m3) {
  TProgressState s;
  s.Position = {p1, p2, p3};
  s.Max = {m1, m2, m3};
  return s;
}

}  // namespace

TEST(RunnerFormat, EscapeBytes) {
  const struct {
    std::string in, out;
  } cases[] = {
      {"PB", "PB"},
      {":0200000C1234AC\r\n", ":0200000C1234AC\\r\\n"},
      {std::string("\x1b.", 2), "\\e."},
      {std::string("a\0b", 3), "a\\x00b"},
      {"back\\slash\ttab", "back\\\\slash\\ttab"},
      {"\x7f\x80\xff", "\\x7F\\x80\\xFF"},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(EscapeBytes(c.in), c.out) << c.out;
}

TEST(RunnerFormat, JsonQuote) {
  const struct {
    std::string in, out;
  } cases[] = {
      {"plain", "\"plain\""},
      {"say \"hi\"", "\"say \\\"hi\\\"\""},
      {"C:\\upd\\VI3\\", "\"C:\\\\upd\\\\VI3\\\\\""},
      {"a\r\nb\t", "\"a\\r\\nb\\t\""},
      {std::string("\x01\x1b", 2), "\"\\u0001\\u001B\""},
      {"caf\xe9", "\"caf\\u00E9\""},
  };
  for (const auto& c : cases) EXPECT_EQ(JsonQuote(c.in), c.out) << c.out;
}

TEST(RunnerFormat, TimestampAndBars) {
  std::tm time{};
  time.tm_year = 124;
  time.tm_mon = 0;
  time.tm_mday = 2;
  time.tm_hour = 3;
  time.tm_min = 4;
  time.tm_sec = 5;
  EXPECT_EQ(FormatTimestamp(time, 7), "2024-01-02 03:04:05.007");
  const struct {
    int position, max, width;
    std::string text;
  } cases[] = {
      {0, 100, 10, "[----------]   0%"}, {50, 100, 10, "[#####-----]  50%"},
      {3, 3, 4, "[####] 100%"},          {1, 3, 6, "[##----]  33%"},
      {5, 0, 4, "[####] 100%"},          {7, 5, 4, "[####] 100%"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ProgressBarText(c.position, c.max, c.width), c.text) << c.position << "/" << c.max;
  }
}

TEST(RunnerPlainOutput, LogLinesTraceAndErrorBox) {
  std::ostringstream out;
  std::ostringstream err;
  TPlainOutput plain(out, err);
  plain.Log("Synchronize...");
  plain.Activity("Upload Bank0");  // a terminal's business only
  plain.Progress(Bars(1, 2, 3, 4, 5, 6));
  plain.Trace(TTraceDir::TRACE_SENT, "PB");
  plain.Trace(TTraceDir::TRACE_RECEIVED, ".");
  plain.Error("Syntax Error in script file line : 3", "/pkg/rev1/script.ini", 1);
  EXPECT_EQ(out.str(), "Synchronize...\n> PB\n< .\n");
  EXPECT_EQ(err.str(), "Syntax Error in script file line : 3\n/pkg/rev1/script.ini\n");
}

TEST(RunnerTerminalOutput, BarsAreRedrawnInPlaceUnderTheLog) {
  std::ostringstream out;
  std::ostringstream err;
  TFakeClock clock;
  TTerminalOutput terminal(out, err, clock, 40);  // bars of 22 cells
  terminal.Log("Synchronize...");
  const std::string block0 =
      "Operation [----------------------]   0%\n"
      "Card      [----------------------]   0%\n"
      "Script    [----------------------]   0%\n"
      "Synchronize...\n";
  EXPECT_EQ(out.str(), "Synchronize...\n" + block0);

  out.str("");
  terminal.Progress(Bars(50, 100, 0, 100, 0, 100));
  const std::string erase = "\x1b[4F\x1b[J";
  EXPECT_EQ(out.str(), "") << "redraws wait for the redraw interval";
  clock.Advance(TTerminalOutput::kRedrawMs);
  terminal.Activity("Upload Bank0");
  const std::string block2 =
      "Operation [###########-----------]  50%\n"
      "Card      [----------------------]   0%\n"
      "Script    [----------------------]   0%\n"
      "Upload Bank0\n";
  EXPECT_EQ(out.str(), erase + block2);

  out.str("");
  terminal.Error("Checksum Error", "/pkg/rev1/VI3/script.ini", 1);
  EXPECT_EQ(out.str(), erase + block2) << "the final state is drawn before the error";
  EXPECT_EQ(err.str(), "Checksum Error\n/pkg/rev1/VI3/script.ini\n");
}

TEST(RunnerTerminalOutput, LongActivityIsCut) {
  std::ostringstream out;
  std::ostringstream err;
  TFakeClock clock;
  TTerminalOutput terminal(out, err, clock, 40);
  terminal.Log(std::string(60, 'x'));
  EXPECT_NE(out.str().find(std::string(36, 'x') + "...\n"), std::string::npos) << out.str();
}

TEST(RunnerJsonOutput, OneObjectPerEventAndProgressOnlyWhenAPercentMoves) {
  std::ostringstream out;
  TJsonOutput json(out, Stamp);
  json.Log("Device ID : 01A7");
  json.Progress(Bars(0, 200, 1, 6, 0, 9));
  json.Progress(Bars(1, 200, 1, 6, 0, 9));  // 0.5 %: no event
  json.Progress(Bars(2, 200, 1, 6, 0, 9));
  json.Trace(TTraceDir::TRACE_RECEIVED, std::string("\x1b.", 2));
  json.Done("Program operation completed");
  EXPECT_EQ(out.str(),
            "{\"event\":\"log\",\"time\":\"2024-05-06 07:08:09.010\",\"text\":\"Device ID : "
            "01A7\"}\n"
            "{\"event\":\"progress\",\"time\":\"2024-05-06 07:08:09.010\",\"operation\":{"
            "\"position\":0,\"max\":200},\"card\":{\"position\":1,\"max\":6},\"script\":{"
            "\"position\":0,\"max\":9}}\n"
            "{\"event\":\"progress\",\"time\":\"2024-05-06 07:08:09.010\",\"operation\":{"
            "\"position\":2,\"max\":200},\"card\":{\"position\":1,\"max\":6},\"script\":{"
            "\"position\":0,\"max\":9}}\n"
            "{\"event\":\"trace\",\"time\":\"2024-05-06 07:08:09.010\",\"direction\":"
            "\"received\",\"data\":\"\\\\e.\"}\n"
            "{\"event\":\"done\",\"time\":\"2024-05-06 07:08:09.010\",\"message\":\"Program "
            "operation completed\",\"exit\":0}\n");
}

TEST(RunnerJsonOutput, ErrorCarriesTheScriptAndTheExitStatus) {
  std::ostringstream out;
  TJsonOutput json(out, Stamp);
  json.Error("No answer from the device for 2 s in SEQ_WAIT_CARD_LINE", "C:\\p\\VI3\\script.ini",
             3);
  EXPECT_EQ(out.str(),
            "{\"event\":\"error\",\"time\":\"2024-05-06 07:08:09.010\",\"message\":\"No answer "
            "from the device for 2 s in SEQ_WAIT_CARD_LINE\",\"script\":\"C:\\\\p\\\\VI3\\\\"
            "script.ini\",\"exit\":3}\n");
}

TEST(RunnerLogFileOutput, StampedLines) {
  std::ostringstream out;
  TLogFileOutput log(out, Stamp);
  log.Note("qelt-update session start");
  log.Log("Synchronize...");
  log.Trace(TTraceDir::TRACE_SENT, "%");
  log.Progress(Bars(1, 1, 1, 1, 1, 1));
  log.Error("Checksum Error", "/p/rev1/script.ini", 1);
  EXPECT_EQ(out.str(),
            "2024-05-06 07:08:09.010  qelt-update session start\n"
            "2024-05-06 07:08:09.010  Synchronize...\n"
            "2024-05-06 07:08:09.010  > %\n"
            "2024-05-06 07:08:09.010  Checksum Error\n"
            "2024-05-06 07:08:09.010  /p/rev1/script.ini\n");
}

// A refused package's findings: on stderr for a person, one JSON object each for a
// wrapper, stamped in the log file.
TEST(RunnerFindingOutput, EachOutputShowsTheFindingsOfARefusedPackage) {
  const TFinding error{TFindingSeverity::FIND_ERROR, "rev1/VI3/VI3_B0.HEX", 3, "blank line"};
  const TFinding warning{TFindingSeverity::FIND_WARNING, "rev1/HD/", 0,
                         "card folder that no script names"};
  std::ostringstream out, err, json_out, log_out;
  TPlainOutput plain(out, err);
  TJsonOutput json(json_out, Stamp);
  TLogFileOutput log(log_out, Stamp);
  for (TRunnerOutput* output : std::initializer_list<TRunnerOutput*>{&plain, &json, &log}) {
    output->Finding(error);
    output->Finding(warning);
  }
  EXPECT_EQ(out.str(), "");
  EXPECT_EQ(err.str(),
            "rev1/VI3/VI3_B0.HEX:3: blank line\n"
            "rev1/HD/: warning: card folder that no script names\n");
  EXPECT_EQ(json_out.str(),
            "{\"event\":\"finding\",\"severity\":\"error\",\"path\":\"rev1/VI3/VI3_B0.HEX\","
            "\"line\":3,\"message\":\"blank line\"}\n"
            "{\"event\":\"finding\",\"severity\":\"warning\",\"path\":\"rev1/HD/\",\"line\":0,"
            "\"message\":\"card folder that no script names\"}\n");
  EXPECT_EQ(log_out.str(),
            "2024-05-06 07:08:09.010  rev1/VI3/VI3_B0.HEX:3: blank line\n"
            "2024-05-06 07:08:09.010  rev1/HD/: warning: card folder that no script names\n");
}

// One line of output is bounded: a trace line keeps 256 bytes of a piece (escaped),
// a log line 1024 characters, and the rest is counted on the line, in every output.
TEST(RunnerFormat, OneLineIsBoundedAndWhatPassesIsCounted) {
  EXPECT_EQ(TraceText(std::string(256, 'Z')), std::string(256, 'Z'));
  EXPECT_EQ(TraceText(std::string(257, '\x01')), [] {
    std::string text;
    for (int i = 0; i < 256; ++i) text += "\\x01";
    return text;
  }() + " ... (+1 bytes not shown)");
  EXPECT_EQ(CapLogLine(std::string(1024, 'a')), std::string(1024, 'a'));
  EXPECT_EQ(CapLogLine(std::string(1124, 'a')),
            std::string(1024, 'a') + " ... (+100 characters not shown)");

  const std::string piece(4096, 'Z');
  const std::string shown = std::string(256, 'Z') + " ... (+3840 bytes not shown)";
  std::ostringstream file, json;
  TLogFileOutput log(file, Stamp);
  log.Trace(TTraceDir::TRACE_RECEIVED, piece);
  EXPECT_EQ(file.str(), "2024-05-06 07:08:09.010  < " + shown + "\n");
  TJsonOutput events(json, Stamp);
  events.Trace(TTraceDir::TRACE_RECEIVED, piece);
  EXPECT_EQ(json.str(),
            "{\"event\":\"trace\",\"time\":\"2024-05-06 07:08:09.010\",\"direction\":\"received\","
            "\"data\":\"" +
                shown + "\"}\n");
}
