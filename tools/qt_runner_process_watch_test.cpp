// qelt-update end to end, the ways a run ends without hanging: ports that cannot be
// opened (a default COM1 among them), the watchdog against a device that stops
// answering, a missing TCP connection and noise on the line, and a read-only package
// that is never written. Every wait is bounded; nothing sleeps.
#include <gtest/gtest.h>

#include <QStandardPaths>
#include <QTcpServer>
#include <map>

#include "tools/testing/runner_process.h"

namespace {

// Every file of the package below `root`, with its bytes.
std::map<std::string, std::string> PackageFiles(const fs::path& root) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    std::ifstream in(entry.path(), std::ios::binary);
    files[fs::relative(entry.path(), root).string()] =
        entry.is_regular_file() ? std::string(std::istreambuf_iterator<char>(in), {}) : "<folder>";
  }
  return files;
}

// How to run qelt-update so that a read-only folder binds it. Permissions do not
// bind the superuser: there it runs as the user nobody through setpriv, and over
// TCP, since the emulator's pseudo-terminal belongs to the superuser.
struct TReadOnlyRunner {
  bool possible = false;
  std::vector<std::string> wrapper;  // empty: as this user
};

TReadOnlyRunner RunnerBoundBy(const fs::path& read_only_folder) {
  const fs::path probe = read_only_folder / "probe";
  if (!std::ofstream(probe).is_open()) return {true, {}};
  fs::remove(probe);
  const QString setpriv = QStandardPaths::findExecutable(QStringLiteral("setpriv"));
  if (setpriv.isEmpty()) return {};
  return {true, {setpriv.toStdString(), "--reuid=65534", "--regid=65534", "--clear-groups", "--"}};
}

std::vector<std::string> LinkTo(const TEmulator& emulator, const TReadOnlyRunner& runner) {
  if (runner.wrapper.empty()) return {"--port", emulator.Pty};
  return {"--tcp", emulator.Tcp};
}

void SetWritable(const fs::path& root, bool writable) {
  const fs::perms write = fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
  const auto options = writable ? fs::perm_options::add : fs::perm_options::remove;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    fs::permissions(entry.path(), writable ? fs::perms::owner_write : write, options);
  }
  fs::permissions(root, writable ? fs::perms::owner_write : write, options);
}

}  // namespace

TEST_F(RunnerProcess, ADeviceThatStopsAnsweringMidUploadIsStoppedByTheWatchdog) {
  // The boot image takes the first ~200 record lines; the 401st falls inside the
  // main card's bank 0 upload.
  TEmulator emulator({"--pty", "--fault", "hang,cmd=:,skip=400"});
  ASSERT_TRUE(emulator.Ready);
  TRun run = RunUpdater({Script(), "--port", emulator.Pty, "--timeout", "1"});
  EXPECT_EQ(run.exit_code, 3) << Explain(run);
  std::vector<std::string> err = SplitLines(run.err);
  ASSERT_EQ(err.size(), 2u) << Explain(run);
  EXPECT_EQ(err[0].rfind("No answer from the device for 1 s while waiting for the bank 0 flash to "
                         "be programmed (line ",
                         0),
            0u)
      << err[0];
  EXPECT_TRUE(Contains(err[0], " sent; card script line 5: P0 VI3_B0.HEX) (last sent: \":20"))
      << err[0];
  EXPECT_EQ(err[1], Pkg("rev1/VI3/script.ini"));
  EXPECT_TRUE(Contains(run.out, "Upload Bank0\n")) << Explain(run);
}

TEST_F(RunnerProcess, AMissingPortIsARunFailureNamedAsGiven) {
  const std::string port = Temp("no-such-tty");
  TRun run = RunUpdater({Script(), "--port", port});
  EXPECT_EQ(run.exit_code, 1) << Explain(run);
  EXPECT_EQ(run.err,
            "Error while opening " + port + "\n" + port +
                ": No such file or directory\nis the adapter plugged in? `--list-ports`\n" +
                Script() + "\n")
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
            "No answer from the device for 1 s while waiting for the boot loader; no TCP "
            "connection to " +
                address + "\n" + Script() + "\n")
      << Explain(run);
}

// A read-only copy of the sample package updates the device twice, and not one of
// its files changes: a run writes the package only when a card script must change.
TEST_F(RunnerProcess, AReadOnlyPackageUpdatesTheDeviceTwiceAndStaysAsItWas) {
  const auto before = PackageFiles(Pkg());
  SetWritable(Pkg(), false);
  const TReadOnlyRunner runner = RunnerBoundBy(Pkg());
  if (!runner.possible) {
    SetWritable(Pkg(), true);
    GTEST_SKIP() << "folder permissions do not bind the superuser and setpriv is missing";
  }
  TEmulator emulator({"--pty", "--tcp", "0", "--state", State()});
  ASSERT_TRUE(emulator.Ready);
  std::vector<std::string> args = LinkTo(emulator, runner);
  args.insert(args.begin(), Script());
  for (int run = 0; run < 2; ++run) {
    TRun update = RunUpdater(args, runner.wrapper);
    EXPECT_EQ(update.exit_code, 0) << "run " << run << "\n" << Explain(update);
    EXPECT_FALSE(Contains(update.out, "Could not write")) << Explain(update);
  }
  SetWritable(Pkg(), true);
  EXPECT_EQ(PackageFiles(Pkg()), before);
}

// Without the extended input card the main card's card script must change; in a
// read-only package the run goes on from memory and says so once.
TEST_F(RunnerProcess, AReadOnlyPackageThatMustChangeRunsFromMemory) {
  const auto before = PackageFiles(Pkg());
  SetWritable(Pkg(), false);
  const TReadOnlyRunner runner = RunnerBoundBy(Pkg());
  if (!runner.possible) {
    SetWritable(Pkg(), true);
    GTEST_SKIP() << "folder permissions do not bind the superuser and setpriv is missing";
  }
  TEmulator emulator({"--pty", "--tcp", "0", "--absent", "5"});
  ASSERT_TRUE(emulator.Ready);
  std::vector<std::string> args = LinkTo(emulator, runner);
  args.insert(args.begin(), Script());
  TRun update = RunUpdater(args, runner.wrapper);
  SetWritable(Pkg(), true);
  EXPECT_EQ(update.exit_code, 0) << Explain(update);
  const std::string note = "Could not write " + Pkg("rev1/VI3/script.ini") + " (";
  EXPECT_TRUE(Contains(update.out, note)) << Explain(update);
  EXPECT_EQ(update.out.find(note), update.out.rfind(note)) << "one note only\n" << Explain(update);
  EXPECT_EQ(PackageFiles(Pkg()), before);
}

// Noise on the data records: the run ends, within the watchdog's time, either
// completed (the noise was dropped) or with a message that quotes what came.
TEST_F(RunnerProcess, NoiseOnTheLineEndsTheRunWithAMessage) {
  TEmulator emulator({"--pty", "--fault", "garbage,cmd=:,rate=5"});
  ASSERT_TRUE(emulator.Ready);
  TRun run = RunUpdater({Script(), "--port", emulator.Pty, "--timeout", "2"});
  if (run.exit_code == 0) return;
  EXPECT_EQ(run.exit_code, 3) << Explain(run);
  EXPECT_EQ(run.err.rfind("The device sent nothing the run could use while waiting for ", 0), 0u)
      << Explain(run);
  EXPECT_TRUE(Contains(run.err, ": received \"")) << Explain(run);
}

// No option and no settings file: the first line says the default COM1 is used, and
// the run ends either at once (no such port: status 2) or by the watchdog, each
// with the hint to name the port.
TEST_F(RunnerProcess, TheDefaultCom1IsNamedAndEndsWithAHint) {
  if (fs::exists(fs::path(QELT_UPDATE_PATH).parent_path() / "Updater.prm")) {
    GTEST_SKIP() << "a settings file lies beside qelt-update";
  }
  TRun run = RunUpdater({Script(), "--timeout", "1"});
  std::vector<std::string> lines = SplitLines(run.out);
  ASSERT_FALSE(lines.empty()) << Explain(run);
  EXPECT_EQ(lines[0].rfind("Connection: serial COM1 = ", 0), 0u) << lines[0];
  EXPECT_TRUE(lines[0].ends_with(" (default: no --port and no settings file)")) << lines[0];
  const std::string hint =
      "name the device's port with --port NAME (qelt-update --list-ports lists the serial ports)";
  if (run.exit_code == 2) {
    EXPECT_TRUE(Contains(run.out, hint)) << Explain(run);
  } else {
    EXPECT_EQ(run.exit_code, 3) << Explain(run);
    EXPECT_TRUE(Contains(run.err, hint)) << Explain(run);
  }
}
