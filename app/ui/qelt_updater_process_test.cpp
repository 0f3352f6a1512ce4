// qelt-updater's command line, answered before the GUI starts: the executable run
// with no display at all (no DISPLAY, WAYLAND_DISPLAY or QT_QPA_PLATFORM), as from
// a text console, a remote shell or a package's post-install check.
#include <gtest/gtest.h>

#include <QProcess>
#include <QProcessEnvironment>
#include <string>
#include <vector>

#include "app/ui/window_options.h"

namespace {

constexpr int kRunMs = 60000;  // start-up under the sanitizers, with room to spare

struct TRun {
  bool ended = false;  // exited normally (not killed, not crashed) in time
  int exit_code = -1;
  std::string out, err;
};

TRun RunWithoutDisplay(const QStringList& args) {
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
    environment.remove(QString::fromLatin1(name));
  }
  QProcess process;
  process.setProcessEnvironment(environment);
  process.start(QStringLiteral(QELT_UPDATER_PATH), args);
  TRun run;
  if (!process.waitForFinished(kRunMs)) {
    process.kill();
    process.waitForFinished(2000);
  } else {
    run.ended = process.exitStatus() == QProcess::NormalExit;
    run.exit_code = process.exitCode();
  }
  run.out = process.readAllStandardOutput().toStdString();
  run.err = process.readAllStandardError().toStdString();
  return run;
}

std::string FirstLine(const std::string& text) { return text.substr(0, text.find('\n')); }

TEST(UpdaterCommandLineTest, HelpAndVersionNeedNoDisplay) {
  const std::string version = std::string("qelt-updater ") + QELT_EXPECTED_FILE_VERSION + "\n";
  const std::vector<std::pair<QStringList, std::string>> cases = {
      {{"--help"}, WindowUsage()},
      {{"-h"}, WindowUsage()},
      {{"--version"}, version},
      // Qt's own options are left to Qt, also before it starts.
      {{"-platform", "xcb", "--style=Fusion", "--help"}, WindowUsage()},
      {{"pkg/script.ini", "--port", "/dev/ttyUSB0", "--version"}, version},
  };
  for (const auto& [args, output] : cases) {
    SCOPED_TRACE(args.join(' ').toStdString());
    const TRun run = RunWithoutDisplay(args);
    ASSERT_TRUE(run.ended) << run.err;
    EXPECT_EQ(run.exit_code, 0);
    EXPECT_EQ(run.out, output);
    EXPECT_EQ(run.err, "");
  }
  EXPECT_EQ(FirstLine(RunWithoutDisplay({"--help"}).out),
            "Usage: qelt-updater [SCRIPT] [--port NAME | --udp HOST[:PORT] | --tcp HOST[:PORT]]");
}

TEST(UpdaterCommandLineTest, BadOptionsAreRefusedWithoutADisplay) {
  const std::vector<std::pair<QStringList, std::string>> cases = {
      {{"--bogus"}, "unknown option \"--bogus\""},
      {{"--port", "COM4097"}, "--port takes COM1..COM4096 or a device path, not \"COM4097\""},
      {{"--udp", "1.2.3.4", "--tcp", "1.2.3.4"}, "give only one of --port, --udp and --tcp"},
      {{"a.ini", "-platform", "xcb", "b.ini"}, "only one script may be given, not also \"b.ini\""},
      {{"--help", "--local-port"}, "--local-port needs a value"},
  };
  for (const auto& [args, message] : cases) {
    SCOPED_TRACE(args.join(' ').toStdString());
    const TRun run = RunWithoutDisplay(args);
    ASSERT_TRUE(run.ended) << run.err;
    EXPECT_EQ(run.exit_code, 2);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "qelt-updater: " + message + "\nTry 'qelt-updater --help'.\n");
  }
}

}  // namespace
