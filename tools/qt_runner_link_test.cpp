// qelt-update when the link fails, as a process: the serial ports it lists, a
// port that cannot be opened (missing, not a serial port, held by another
// program, refused to an ordinary user), a TCP connection refused, and the
// emulator killed in the middle of a run over a pseudo-terminal and over TCP.
// Each ends with the link's name and the reason on stderr. Every wait is bounded;
// nothing sleeps. Only 127.0.0.1 is used.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QDeadlineTimer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QSerialPort>
#include <QStandardPaths>
#include <csignal>
#include <filesystem>
#include <string>
#include <vector>

#include "emulator/testing/emulator_process.h"
#include "emulator/testing/emulator_signal_posix.h"
#include "testing/temp_dir.h"

namespace fs = std::filesystem;

namespace {

constexpr int kRunMs = 120000;  // bound on one run under the sanitizers

QStringList ToArgs(const std::vector<std::string>& args) {
  QStringList list;
  for (const std::string& arg : args) list << QString::fromStdString(arg);
  return list;
}

// The emulator executable with the endpoints it announced.
class TEmulator : public TEmulatorProcess {
 public:
  explicit TEmulator(const std::vector<std::string>& args)
      : TEmulatorProcess(QELT_EMULATOR_PATH, ToArgs(args)),
        Ready(WaitReady()),
        Pty(Endpoint("PTY")),
        Tcp(Endpoint("TCP")) {}
  const bool Ready;
  const std::string Pty, Tcp;
};

struct TRun {
  int exit_code = -1;
  std::string out, err;
};

std::string Explain(const TRun& run) {
  return "exit " + std::to_string(run.exit_code) + "\n--- stdout\n" + run.out + "--- stderr\n" +
         run.err;
}

// qelt-update started with `args` (through `wrapper` when given, such as setpriv),
// read until it ends.
class TRunner {
 public:
  explicit TRunner(const std::vector<std::string>& args,
                   const std::vector<std::string>& wrapper = {}) {
    QStringList all = ToArgs(wrapper);
    all << QELT_UPDATE_PATH << ToArgs(args);
    const QString program = all.takeFirst();
    process_.start(program, all);
  }
  // Reads stdout until it holds `text`; false when the runner ended first or the
  // bound passed.
  bool WaitForOutput(const std::string& text, int ms = kRunMs) {
    const QDeadlineTimer deadline(ms);
    while (run_.out.find(text) == std::string::npos) {
      if (deadline.hasExpired() ||
          !process_.waitForReadyRead(static_cast<int>(deadline.remainingTime()))) {
        return false;
      }
      run_.out += process_.readAllStandardOutput().toStdString();
    }
    return true;
  }
  TRun Finish() {
    if (!process_.waitForFinished(kRunMs)) {
      process_.kill();
      process_.waitForFinished(5000);
      run_.err = "qelt-update did not end in time\n";
    } else if (process_.exitStatus() == QProcess::NormalExit) {
      run_.exit_code = process_.exitCode();
    }
    run_.out += process_.readAllStandardOutput().toStdString();
    run_.err += process_.readAllStandardError().toStdString();
    return run_;
  }
  QProcess& Process() { return process_; }

 private:
  QProcess process_;
  TRun run_;
};

TRun RunUpdater(const std::vector<std::string>& args) { return TRunner(args).Finish(); }

class RunnerLink : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::copy(fs::path(QELT_SOURCE_DIR_FALLBACK) / "examples" / "package", dir_.path() / "pkg",
             fs::copy_options::recursive);
  }
  std::string Script() const { return (dir_.path() / "pkg" / "script.ini").string(); }
  TTempDir dir_;
};

TEST_F(RunnerLink, ListPortsShowsAPseudoTerminalGivenWithPort) {
  TEmulator emulator({"--pty"});
  ASSERT_TRUE(emulator.Ready);
  const std::string name = emulator.Pty.substr(emulator.Pty.rfind('/') + 1);
  TRun text = RunUpdater({"--list-ports", "--port", emulator.Pty});
  EXPECT_EQ(text.exit_code, 0) << Explain(text);
  EXPECT_NE(text.out.find(emulator.Pty + "\t" + name + "\tgiven with --port\t-\t-\t-\n"),
            std::string::npos)
      << Explain(text);
  EXPECT_EQ(text.err, "");
  TRun json = RunUpdater({"--list-ports", "--json", "--port", emulator.Pty});
  EXPECT_NE(json.out.find("{\"path\":\"" + emulator.Pty + "\",\"name\":\"" + name +
                          "\",\"description\":\"given with --port\",\"manufacturer\":\"\","
                          "\"vendor_id\":\"\",\"product_id\":\"\",\"serial_number\":\"\","
                          "\"source\":\"option\"}\n"),
            std::string::npos)
      << Explain(json);
}

TEST_F(RunnerLink, PortErrorsGiveTheReasonAndTheNextStep) {
  TEmulator emulator({"--pty"});
  ASSERT_TRUE(emulator.Ready);
  QSerialPort holder(QString::fromStdString(emulator.Pty));  // another program's hold
  ASSERT_TRUE(holder.open(QIODevice::ReadWrite)) << holder.errorString().toStdString();
  const struct {
    std::string port, lines;
  } cases[] = {
      {"/dev/null",
       "/dev/null: Inappropriate ioctl for device\nthis is not a serial port: choose one that "
       "`--list-ports` or the Port menu shows"},
      {emulator.Pty, emulator.Pty +
                         ": Permission error while locking the device\nanother program holds it: "
                         "close it"},
  };
  for (const auto& c : cases) {
    TRun run = RunUpdater({Script(), "--port", c.port});
    EXPECT_EQ(run.exit_code, 1) << Explain(run);
    EXPECT_EQ(run.err, "Error while opening " + c.port + "\n" + c.lines + "\n" + Script() + "\n")
        << Explain(run);
  }
}

TEST_F(RunnerLink, AnOrdinaryUserWithoutTheRightIsToldAboutDialout) {
  const QString setpriv = QStandardPaths::findExecutable(QStringLiteral("setpriv"));
  if (geteuid() != 0 || setpriv.isEmpty()) {
    GTEST_SKIP() << "needs root and setpriv to run qelt-update as the user nobody";
  }
  TEmulator emulator({"--pty"});  // its device belongs to root, mode 0600 or 0620
  ASSERT_TRUE(emulator.Ready);
  // No package: the check is skipped so that the run reaches the port.
  TRunner runner({"/nonexistent/script.ini", "--port", emulator.Pty, "--skip-check"},
                 {setpriv.toStdString(), "--reuid=65534", "--regid=65534", "--clear-groups", "--"});
  TRun run = runner.Finish();
  EXPECT_EQ(run.exit_code, 1) << Explain(run);
  EXPECT_EQ(run.err, "Error while opening " + emulator.Pty + "\n" + emulator.Pty +
                         ": Permission denied\nadd your user to the group `dialout`\n"
                         "/nonexistent/script.ini\n")
      << Explain(run);
}

TEST_F(RunnerLink, ARefusedTcpConnectionEndsTheRunAfterAFewAttempts) {
  TRun run = RunUpdater({Script(), "--tcp", "127.0.0.1:1"});
  EXPECT_EQ(run.exit_code, 1) << Explain(run);
  EXPECT_EQ(run.err, "Error while opening LAN Device\nTCP 127.0.0.1:1: connection refused\n" +
                         Script() + "\n")
      << Explain(run);
}

TEST_F(RunnerLink, TheEmulatorKilledMidRunOverAPseudoTerminal) {
  TEmulator emulator({"--pty"});
  ASSERT_TRUE(emulator.Ready);
  TRunner runner({Script(), "--port", emulator.Pty});
  ASSERT_TRUE(runner.WaitForOutput("Device ID : 01A7\n"));
  TerminateWith(emulator, SIGKILL);
  TRun run = runner.Finish();
  EXPECT_EQ(run.exit_code, 1) << Explain(run);
  EXPECT_EQ(run.err.rfind(emulator.Pty + " was disconnected\n", 0), 0u) << Explain(run);
}

TEST_F(RunnerLink, TheEmulatorKilledMidRunOverTcp) {
  TEmulator emulator({"--tcp", "0"});
  ASSERT_TRUE(emulator.Ready);
  TRunner runner({Script(), "--tcp", emulator.Tcp});
  ASSERT_TRUE(runner.WaitForOutput("Device ID : 01A7\n"));
  TerminateWith(emulator, SIGKILL);
  TRun run = runner.Finish();
  EXPECT_EQ(run.exit_code, 1) << Explain(run);
  EXPECT_EQ(run.err.rfind("TCP " + emulator.Tcp +
                              ": the remote host closed the connection; 8 attempts to reconnect "
                              "failed (connection refused)\n",
                          0),
            0u)
      << Explain(run);
}

}  // namespace
