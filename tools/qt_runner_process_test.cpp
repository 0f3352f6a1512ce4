// qelt-update end to end: the real runner executable against the real emulator
// executable over a pseudo-terminal, UDP and TCP (127.0.0.1 only), on a copy of
// the sample package. Every wait is bounded; nothing sleeps.
#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTcpServer>
#include <QUdpSocket>
#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>

#include "emulator/testing/emulator_process.h"
#include "testing/temp_dir.h"

namespace fs = std::filesystem;

namespace {

constexpr int kRunMs = 240000;  // a whole update under the sanitizers, with room to spare

QStringList Args(const std::vector<std::string>& args) {
  QStringList list;
  for (const std::string& arg : args) list << QString::fromStdString(arg);
  return list;
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// The emulator executable with the endpoints it announced, as qelt-update's
// options take them: "/dev/pts/N" and "127.0.0.1:PORT".
class TEmulator : public TEmulatorProcess {
 public:
  explicit TEmulator(const std::vector<std::string>& args)
      : TEmulatorProcess(QELT_EMULATOR_PATH, Args(args)),
        Ready(WaitReady()),
        Pty(Endpoint("PTY")),
        Udp(Endpoint("UDP")),
        Tcp(Endpoint("TCP")) {}

  const bool Ready;
  const std::string Pty, Udp, Tcp;
};

struct TRun {
  int exit_code = -1;
  std::string out, err;
};

// Runs qelt-update to its end.
TRun RunUpdater(const std::vector<std::string>& args) {
  QProcess process;
  process.start(QELT_UPDATE_PATH, Args(args));
  TRun run;
  if (!process.waitForFinished(kRunMs)) {
    process.kill();
    process.waitForFinished(2000);
    run.err = "qelt-update did not end in time\n";
  } else if (process.exitStatus() == QProcess::NormalExit) {
    run.exit_code = process.exitCode();
  }
  run.out += process.readAllStandardOutput().toStdString();
  run.err += process.readAllStandardError().toStdString();
  return run;
}

std::string Explain(const TRun& run) {
  return "exit " + std::to_string(run.exit_code) + "\n--- stdout\n" + run.out + "--- stderr\n" +
         run.err;
}

// A private copy of the sample package (a run may rewrite a card script).
class RunnerProcess : public ::testing::Test {
 protected:
  void SetUp() override { ResetPackage(); }
  // A fresh copy of the committed sample package.
  void ResetPackage() const {
    fs::remove_all(dir_.path() / "pkg");
    fs::copy(fs::path(QELT_SOURCE_DIR_FALLBACK) / "examples" / "package", dir_.path() / "pkg",
             fs::copy_options::recursive);
  }
  std::string Pkg(const std::string& relative = "") const {
    return (dir_.path() / "pkg" / relative).string();
  }
  std::string Script() const { return Pkg("script.ini"); }
  std::string State() const { return (dir_.path() / "device.state").string(); }
  std::string Temp(const std::string& name) const { return (dir_.path() / name).string(); }
  void WriteFile(const std::string& path, const std::string& text) const {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
  }
  static std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  TTempDir dir_;
};

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
  ASSERT_FALSE(lines.empty());
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

TEST_F(RunnerProcess, SyntaxErrorsEndWithTheErrorBoxText) {
  const struct {
    std::string file;  // rewritten with `lines`
    std::string lines;
    std::string message;  // first line of the error box
  } cases[] = {
      {"rev1/script.ini", "rem broken package\r\nCM\r\nREM not a comment\r\n",
       "Syntax Error in script file line : 3"},
      {"rev1/KEYB3/script.ini", "prompt Keyboard\r\nQ0\r\n\r\nX9 nothing takes this\r\nZ0\r\n",
       "Syntax Error in script file line : 4"},
  };
  TEmulator emulator({"--pty"});
  ASSERT_TRUE(emulator.Ready);
  for (const auto& c : cases) {
    ResetPackage();
    WriteFile(Pkg(c.file), c.lines);
    TRun run = RunUpdater({Script(), "--port", emulator.Pty});
    EXPECT_EQ(run.exit_code, 1) << Explain(run);
    EXPECT_EQ(run.err, c.message + "\n" + Pkg(c.file) + "\n") << Explain(run);
    EXPECT_EQ(SplitLines(run.out).back(), c.message);
  }
}

TEST_F(RunnerProcess, ADeviceThatStopsAnsweringMidUploadIsStoppedByTheWatchdog) {
  // The boot image takes the first ~200 record lines; the 401st falls inside the
  // main card's bank 0 upload.
  TEmulator emulator({"--pty", "--fault", "hang,cmd=:,skip=400"});
  ASSERT_TRUE(emulator.Ready);
  TRun run = RunUpdater({Script(), "--port", emulator.Pty, "--timeout", "1"});
  EXPECT_EQ(run.exit_code, 3) << Explain(run);
  std::vector<std::string> err = SplitLines(run.err);
  ASSERT_EQ(err.size(), 2u) << Explain(run);
  EXPECT_EQ(err[0].rfind("No answer from the device for 1 s in SEQ_WAIT_CARD_LINE (last sent: "
                         "\":20",
                         0),
            0u)
      << err[0];
  EXPECT_EQ(err[1], Pkg("rev1/VI3/script.ini"));
  EXPECT_TRUE(Contains(run.out, "Upload Bank0\n")) << Explain(run);
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

TEST_F(RunnerProcess, AMissingPortIsARunFailure) {
  TRun run = RunUpdater({Script(), "--port", Temp("no-such-tty")});
  EXPECT_EQ(run.exit_code, 1) << Explain(run);
  EXPECT_EQ(run.err, "Error while opening COM1\n" + Script() + "\n") << Explain(run);
  EXPECT_TRUE(Contains(run.out, Temp("no-such-tty") + ": No such file or directory\n"))
      << Explain(run);
}

TEST_F(RunnerProcess, TheWatchdogNamesAMissingTcpConnection) {
  int port = 0;
  {
    QTcpServer probe;  // a port where nothing listens once the probe is gone
    probe.listen(QHostAddress::LocalHost, 0);
    port = probe.serverPort();
  }
  const std::string address = "127.0.0.1:" + std::to_string(port);
  TRun run = RunUpdater({Script(), "--tcp", address, "--timeout", "1"});
  EXPECT_EQ(run.exit_code, 3) << Explain(run);
  EXPECT_EQ(run.err,
            "No answer from the device for 1 s in SEQ_WAIT_BOOT_SYNC; no TCP connection to " +
                address + "\n" + Script() + "\n")
      << Explain(run);
}
