// qelt-update end to end: the real runner executable against the real emulator
// executable over a pseudo-terminal, UDP and TCP (127.0.0.1 only), on a copy of
// the sample package. Every wait is bounded; nothing sleeps.
#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QUdpSocket>
#include <algorithm>
#include <csignal>
#include <set>

#include "tools/testing/runner_process.h"

namespace {

int FreeUdpPort() {
  QUdpSocket probe;
  probe.bind(QHostAddress::LocalHost, 0);
  return probe.localPort();
}

}  // namespace

TEST_F(RunnerProcess, UpdatesOverAPseudoTerminalThenSkipsWhatIsCurrent) {
  TEmulator emulator({"--pty", "--state", State()});
  ASSERT_TRUE(emulator.Ready);
  TRun first = RunUpdater({Script(), "--port", emulator.Pty, "--timeout", "30"});
  ASSERT_EQ(first.exit_code, 0) << Explain(first);
  std::vector<std::string> lines = SplitLines(first.out);
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[0], "Connection: serial " + emulator.Pty + " (from --port)");
  EXPECT_EQ(lines[1], "Package: " + Script());
  EXPECT_EQ(lines.back(), "Program operation completed") << Explain(first);
  for (const char* expected :
       {"Device ID : 01A7", "Firmware package 2.4 (hardware revision 1)", "Erase Bank0",
        "Verify Bank1", "Keyboard card KEYB3", "ID Number : [3C4DC0FF][3C4DD0FF]"}) {
    EXPECT_TRUE(Contains(first.out, std::string(expected) + "\n")) << expected;
  }
  EXPECT_FALSE(Contains(first.out, "Skipped")) << Explain(first);
  EXPECT_EQ(first.err, "");

  TRun second = RunUpdater({Script(), "--port", emulator.Pty, "--timeout", "30"});
  ASSERT_EQ(second.exit_code, 0) << Explain(second);
  EXPECT_EQ(SplitLines(second.out).back(), "Program operation completed");
  for (const char* skipped : {"Skipped, already current: VI3 MCU (version 0214)",
                              "Skipped, already current: VI3 PROM 1 (version 0107)",
                              "Skipped, already current: VI3 CPLD (version 0105)",
                              "Skipped, already current: KEYB3 MCU (version 0120)",
                              "Skipped, already current: SCAN1 PROM 2 (version 0102)",
                              "Skipped, already current: HD1 MCU (version 0402)",
                              "Skipped, already current: OPT_IN CPLDs (version 0103)",
                              "Skipped, already current: OPT_IN EDID (version 0104)"}) {
    EXPECT_TRUE(Contains(second.out, std::string(skipped) + "\n")) << skipped;
  }
  EXPECT_FALSE(Contains(second.out, "Erase Bank")) << Explain(second);
  EXPECT_FALSE(Contains(second.out, "Upload Bank")) << Explain(second);
}

TEST_F(RunnerProcess, UpdatesOverUdp) {
  TEmulator emulator({"--udp", "0"});
  ASSERT_TRUE(emulator.Ready);
  TRun run = RunUpdater({Script(), "--udp", emulator.Udp, "--local-port",
                         std::to_string(FreeUdpPort()), "--timeout", "30"});
  ASSERT_EQ(run.exit_code, 0) << Explain(run);
  EXPECT_EQ(SplitLines(run.out).back(), "Program operation completed");
  EXPECT_TRUE(Contains(run.out, "Verify Bank0\n"));
}

TEST_F(RunnerProcess, UpdatesOverTcp) {
  TEmulator emulator({"--tcp", "0"});
  ASSERT_TRUE(emulator.Ready);
  TRun run = RunUpdater({Script(), "--tcp", emulator.Tcp, "--timeout", "30"});
  ASSERT_EQ(run.exit_code, 0) << Explain(run);
  EXPECT_EQ(SplitLines(run.out).back(), "Program operation completed");
  EXPECT_TRUE(Contains(run.out, "Verify Bank0\n"));
}

// Checked first, a package with a line no engine takes is refused: the finding and
// the refusal on stderr, exit 1. Run with --skip-check, the run ends at that line
// with its own error box text.
TEST_F(RunnerProcess, SyntaxErrorsAreRefusedOrEndTheRunWithTheErrorBoxText) {
  const struct {
    std::string file;  // rewritten with `lines`
    std::string lines;
    std::string finding;  // what the check says
    std::string message;  // first line of the run's error box
  } cases[] = {
      {"rev1/script.ini",
       "rem broken package\r\nCM\r\nC0\r\nC1\r\nC3\r\nC5\r\nREM not a comment\r\n",
       "rev1/script.ini:7: no engine takes this line (comments begin with 'rem' in lower case)\n",
       "Syntax Error in script file line : 7"},
      {"rev1/KEYB3/script.ini", "prompt Keyboard\r\nQ0\r\n\r\nX9 nothing takes this\r\nZ0\r\n",
       "rev1/KEYB3/script.ini:4: no engine takes this line\n"
       "rev1/KEYB3/KEYB3_B0.HEX: warning: no script names this file\n",
       "Syntax Error in script file line : 4"},
  };
  TEmulator emulator({"--pty"});
  ASSERT_TRUE(emulator.Ready);
  for (const auto& c : cases) {
    ResetPackage();
    WriteFile(Pkg(c.file), c.lines);
    TRun refused = RunUpdater({Script(), "--port", emulator.Pty});
    EXPECT_EQ(refused.exit_code, 1) << Explain(refused);
    const bool warned = c.finding.find("warning") != std::string::npos;
    const std::string refusal = std::string("The package cannot run: 1 error") +
                                (warned ? ", 1 warning" : "") + " (nothing was sent to the device)";
    EXPECT_EQ(refused.err, c.finding + refusal + "\n" + Script() + "\n") << Explain(refused);

    TRun run = RunUpdater({Script(), "--port", emulator.Pty, "--skip-check"});
    EXPECT_EQ(run.exit_code, 1) << Explain(run);
    EXPECT_EQ(run.err, c.message + "\n" + Pkg(c.file) + "\n") << Explain(run);
    EXPECT_EQ(SplitLines(run.out).back(), c.message);
  }
}

// --check needs no device: the findings on stdout, exit 0 or 1.
TEST_F(RunnerProcess, CheckJudgesThePackageWithoutADevice) {
  TRun good = RunUpdater({"--check", Script()});
  EXPECT_EQ(good.exit_code, 0) << Explain(good);
  EXPECT_EQ(good.out, Script() + ": 0 errors, 0 warnings: the package can run\n");
  WriteFile(Pkg("rev1/script.ini"), "CM\r\nC9\r\n");
  TRun bad = RunUpdater({"--check", "--json", Script()});
  EXPECT_EQ(bad.exit_code, 1) << Explain(bad);
  EXPECT_EQ(SplitLines(bad.out).front(),
            "{\"event\":\"finding\",\"severity\":\"error\",\"path\":\"rev1/script.ini\","
            "\"line\":2,\"message\":\"no option card 9: option cards are C0 to C5\"}");
  EXPECT_NE(bad.out.find("\"errors\":1,"), std::string::npos) << bad.out;
  EXPECT_EQ(bad.err, "");
}

TEST_F(RunnerProcess, JsonLinesAllParseAndEndWithDoneOrError) {
  TEmulator emulator({"--pty"});
  ASSERT_TRUE(emulator.Ready);
  WriteFile(Pkg("rev1/HD/readid.ini"), "Q3\r\nD7\r\nno engine takes this\r\nZ3\r\n");
  const struct {
    std::string script;
    int exit_code;
    std::string last_event;
  } cases[] = {
      {Pkg("readid.ini"), 1, "error"},        // the damaged HD identification script
      {Pkg("other/readid.ini"), 1, "error"},  // no such package
  };
  for (const auto& c : cases) {
    TRun run = RunUpdater({c.script, "--port", emulator.Pty, "--json"});
    EXPECT_EQ(run.exit_code, c.exit_code) << Explain(run);
    EXPECT_EQ(run.err, "");
    std::vector<std::string> lines = SplitLines(run.out);
    ASSERT_FALSE(lines.empty());
    std::set<std::string> kinds;
    QJsonObject last;
    for (const std::string& line : lines) {
      QJsonParseError error;
      QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(line), &error);
      ASSERT_EQ(error.error, QJsonParseError::NoError) << line;
      ASSERT_TRUE(doc.isObject()) << line;
      last = doc.object();
      kinds.insert(last.value("event").toString().toStdString());
    }
    EXPECT_EQ(last.value("event").toString().toStdString(), c.last_event);
    EXPECT_EQ(last.value("exit").toInt(), c.exit_code);
    EXPECT_TRUE(kinds.count("log")) << Explain(run);
  }
  // And a run that completes.
  WriteFile(Pkg("rev1/HD/readid.ini"), "Q3\r\nD8\r\nZ3\r\n");
  TRun run = RunUpdater({Pkg("readid.ini"), "--port", emulator.Pty, "--json"});
  ASSERT_EQ(run.exit_code, 0) << Explain(run);
  std::vector<std::string> lines = SplitLines(run.out);
  std::set<std::string> kinds;
  for (const std::string& line : lines) {
    QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(line));
    ASSERT_TRUE(doc.isObject()) << line;
    kinds.insert(doc.object().value("event").toString().toStdString());
  }
  EXPECT_EQ(kinds, (std::set<std::string>{"log", "progress", "done"}));
  QJsonObject done = QJsonDocument::fromJson(QByteArray::fromStdString(lines.back())).object();
  EXPECT_EQ(done.value("event").toString(), "done");
  EXPECT_EQ(done.value("message").toString(), "Program operation completed");
}

TEST_F(RunnerProcess, TraceShowsThePbExchange) {
  TEmulator emulator({"--pty"});
  ASSERT_TRUE(emulator.Ready);
  TRun logged = RunUpdater(
      {Script(), "--readid", "--port", emulator.Pty, "--trace", "--log", Temp("session.log")});
  ASSERT_EQ(logged.exit_code, 0) << Explain(logged);
  EXPECT_FALSE(Contains(logged.out, "> PB")) << "with --log the traffic goes to the file";
  // "PB" out, "." (accepted) and "." (erased) back, then the first record line.
  std::vector<std::string> traffic;
  for (const std::string& line : SplitLines(ReadFile(Temp("session.log")))) {
    if (line.size() > 25 && (line[25] == '>' || line[25] == '<'))
      traffic.push_back(line.substr(25));
  }
  auto pb = std::find(traffic.begin(), traffic.end(), "> PB");
  ASSERT_NE(pb, traffic.end());
  std::string replies;
  auto next = pb + 1;
  for (; next != traffic.end() && next->rfind("< ", 0) == 0; ++next) replies += next->substr(2);
  EXPECT_EQ(replies, "..");
  ASSERT_NE(next, traffic.end());
  EXPECT_EQ(next->rfind("> :2040000", 0), 0u) << *next;
  EXPECT_TRUE(Contains(ReadFile(Temp("session.log")), "  Program operation completed\n"));

  TRun shown = RunUpdater({Script(), "--readid", "--port", emulator.Pty, "--trace"});
  ASSERT_EQ(shown.exit_code, 0) << Explain(shown);
  EXPECT_TRUE(Contains(shown.out, "\n> PB\n")) << Explain(shown);
  EXPECT_TRUE(Contains(shown.out, "\n> %\n"));
}

TEST_F(RunnerProcess, ReadIdRunsTheIdentificationScript) {
  TEmulator emulator({"--pty"});
  ASSERT_TRUE(emulator.Ready);
  TRun run = RunUpdater({Script(), "--readid", "--port", emulator.Pty});
  ASSERT_EQ(run.exit_code, 0) << Explain(run);
  for (const char* expected :
       {"Identification pass (hardware revision 1)", "Main card VI3", "ID Number : F0",
        "ID Number : [FFFFFFFF][2B3CA0FF]", "ID Number : 30", "Program operation completed"}) {
    EXPECT_TRUE(Contains(run.out, std::string(expected) + "\n")) << expected << Explain(run);
  }
  EXPECT_EQ(SplitLines(run.out).back(), "Identification completed");
  EXPECT_FALSE(Contains(run.out, "Firmware package")) << "the update script ran";
  EXPECT_FALSE(Contains(run.out, "Erase Bank")) << "the update script ran";
}

TEST_F(RunnerProcess, InterruptStopsTheRunAsStopDoes) {
  TEmulator emulator({"--pty", "--fault", "hang,cmd=P0"});
  ASSERT_TRUE(emulator.Ready);
  QProcess process;
  process.start(QELT_UPDATE_PATH, Args({Script(), "--port", emulator.Pty}));
  std::string out;
  while (!Contains(out, "Main card VI3\n") && process.waitForReadyRead(30000)) {
    out += process.readAllStandardOutput().toStdString();
  }
  ASSERT_TRUE(Contains(out, "Main card VI3\n")) << out;
  // The main card's bank 0 command has no answer: the run waits until stopped.
  ::kill(static_cast<pid_t>(process.processId()), SIGINT);
  ASSERT_TRUE(process.waitForFinished(30000));
  EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(process.exitCode(), 3);
  EXPECT_EQ(process.readAllStandardError().toStdString(),
            "Stopped by SIGINT\n" + Pkg("rev1/VI3/script.ini") + "\n");
}

TEST(RunnerCommandLine, UsageHelpAndVersion) {
  const struct {
    std::vector<std::string> args;
    int exit_code;
    std::string out_starts, err;
  } cases[] = {
      {{"--help"}, 0, "Usage: qelt-update [SCRIPT] [options]\n", ""},
      {{"--version"}, 0, "qelt-update 1.0.0.1\n", ""},
      {{"--port", "COM4097"},
       2,
       "",
       "qelt-update: --port takes COM1..COM4096 or a device path such as /dev/ttyUSB0\n"
       "Try 'qelt-update --help'.\n"},
      {{"--udp", "127.0.0.1", "--log", "/nonexistent-folder/x.log"},
       2,
       "",
       "qelt-update: cannot open the log file /nonexistent-folder/x.log\n"
       "Try 'qelt-update --help'.\n"},
  };
  for (const auto& c : cases) {
    TRun run = RunUpdater(c.args);
    EXPECT_EQ(run.exit_code, c.exit_code) << c.args[0];
    EXPECT_EQ(run.out.rfind(c.out_starts, 0), 0u) << run.out;
    EXPECT_EQ(run.err, c.err);
  }
}
