// The window on the real Qt link against the emulator executable: a click on
// START updates the emulated device from the sample package over a
// pseudo-terminal, over UDP and over TCP on 127.0.0.1, as `qelt-updater --port /dev/pts/N
// examples/package/script.ini` does. The event loop runs in real time here, each
// wait bounded.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QPushButton>
#include <QTest>
#include <QUdpSocket>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "app/ui/testing/recording_modal_host.h"
#include "app/ui/updater_forms.h"
#include "emulator/testing/emulator_process.h"
#include "engines/ms_clock.h"
#include "link/com_driver.h"
#include "link/qt_link_factory.h"
#include "testing/temp_dir.h"

#if defined(QELT_EMULATOR_PATH) && defined(QELT_SAMPLE_PACKAGE)

namespace {

constexpr int kRunLimitMs = 180000;

int FreeUdpPort() {
  QUdpSocket probe;
  probe.bind(QHostAddress::LocalHost, 0);
  return probe.localPort();
}

// Runs the event loop until `done` holds or `limit_ms` pass. Unlike QTest::qWaitFor,
// which sleeps between rounds of events, it sleeps only while no event is pending,
// so a run paced by the device's replies goes at the speed of the replies.
bool WaitFor(const std::function<bool()>& done, int limit_ms) {
  QElapsedTimer clock;
  clock.start();
  while (!done()) {
    if (clock.hasExpired(limit_ms)) return false;
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
  }
  return true;
}

bool Logged(const TMainFich& core, const std::string& text) {
  const auto& lines = core.MemoStatus.Lines();
  return std::find(lines.begin(), lines.end(), text) != lines.end();
}

// Runs the sample package from a click on START with the connection options
// `connect(emulator)` gives, and checks the run ends completed and idle.
void RunFromAClick(
    const std::function<std::vector<std::string>(const TEmulatorProcess&)>& connect) {
  TEmulatorProcess emulator(QStringLiteral(QELT_EMULATOR_PATH),
                            {"--pty", "--udp", "0", "--tcp", "0"});
  ASSERT_TRUE(emulator.WaitReady()) << "the emulator did not announce READY";
  // The package is copied: a run may rewrite a card script in its folder.
  TTempDir folder;
  std::filesystem::copy(QELT_SAMPLE_PACKAGE, folder.path() / "package",
                        std::filesystem::copy_options::recursive);
  std::vector<std::string> args = connect(emulator);
  args.push_back((folder.path() / "package" / "script.ini").string());
  TWindowOptions options;
  std::string error;
  ASSERT_TRUE(ParseWindowOptions(args, options, error)) << error;
  TMainFichSetup setup{folder.Dir(), options.Script, folder.Dir(), folder.Dir() + "config/"};
  TRecordingModalHost host;
  TUpdaterForms forms(CreateQtComDriver(), SystemClock(), setup, options, host);
  forms.Window.show();

  std::string caption;
  QObject::connect(&forms.Window, &QWidget::windowTitleChanged, [&](const QString& title) {
    if (title.contains(QLatin1String("Device Id :"))) caption = title.toStdString();
  });
  QTest::mouseClick(forms.Window.Start(), Qt::LeftButton);
  const bool ended = WaitFor(
      [&] { return Logged(forms.Core, "Program operation completed") || !host.Errors.empty(); },
      kRunLimitMs);
  ASSERT_TRUE(ended) << "no end after " << kRunLimitMs
                     << " ms; last line: " << forms.Core.MemoStatus.LastLine();
  ASSERT_TRUE(host.Errors.empty()) << host.Errors[0].text;
  EXPECT_EQ(caption, "Corvane Qelt Updater  (Device Id : 01A7)");
  EXPECT_TRUE(WaitFor(
      [&] {
        return forms.Core.MemoStatus.LastLine() ==
               "Click on button START to begin program operation";
      },
      5000));
  forms.Window.close();
  EXPECT_TRUE(forms.Core.Closed());
  EXPECT_FALSE(forms.Window.Timer1().isActive());
  EXPECT_EQ(forms.Core.Link().ConType(), CON_NONE);
}

TEST(UpdaterEndToEndTest, StartUpdatesTheEmulatorOverAPseudoTerminal) {
  RunFromAClick([](const TEmulatorProcess& emulator) {
    return std::vector<std::string>{"--port", emulator.Endpoint("PTY")};
  });
}

TEST(UpdaterEndToEndTest, StartUpdatesTheEmulatorOverUdp) {
  RunFromAClick([](const TEmulatorProcess& emulator) {
    return std::vector<std::string>{"--udp", emulator.Endpoint("UDP"), "--local-port",
                                    std::to_string(FreeUdpPort())};
  });
}

// START on a package with a damaged bank image: the error box lists the finding,
// the status log holds it, and the emulator never sees a byte (its traffic log
// stays empty): the port is not even opened.
TEST(UpdaterEndToEndTest, StartOnABrokenPackageShowsTheFindingsAndTouchesNothing) {
  TTempDir folder;
  const std::string traffic = folder.Dir() + "traffic.log";
  TEmulatorProcess emulator(QStringLiteral(QELT_EMULATOR_PATH),
                            {"--pty", "--log", QString::fromStdString(traffic)});
  ASSERT_TRUE(emulator.WaitReady()) << "the emulator did not announce READY";
  std::filesystem::copy(QELT_SAMPLE_PACKAGE, folder.path() / "package",
                        std::filesystem::copy_options::recursive);
  const std::filesystem::path bank = folder.path() / "package" / "rev1" / "VI3" / "VI3_B0.HEX";
  std::string text;
  {
    std::ifstream in(bank, std::ios::binary);
    text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  text.insert(text.find("\r\n") + 2, "\r\n");  // a blank line 2
  {
    std::ofstream out(bank, std::ios::binary | std::ios::trunc);
    out << text;
  }
  TWindowOptions options;
  std::string error;
  ASSERT_TRUE(ParseWindowOptions(
      {"--port", emulator.Endpoint("PTY"), (folder.path() / "package" / "script.ini").string()},
      options, error))
      << error;
  TMainFichSetup setup{folder.Dir(), options.Script, folder.Dir(), folder.Dir() + "config/"};
  TRecordingModalHost host;
  TUpdaterForms forms(CreateQtComDriver(), SystemClock(), setup, options, host);
  forms.Window.show();
  QTest::mouseClick(forms.Window.Start(), Qt::LeftButton);
  ASSERT_TRUE(WaitFor([&] { return !host.Errors.empty(); }, 10000));
  const std::string finding = "rev1/VI3/VI3_B0.HEX:2: blank line";
  EXPECT_EQ(host.Errors[0].text,
            "The package cannot run: 1 error (nothing was sent to the device)\r\n" + finding +
                "\r\n" + options.Script);
  EXPECT_TRUE(Logged(forms.Core, finding));
  EXPECT_EQ(forms.Core.Link().ConType(), CON_NONE);  // never opened: nothing can travel
  std::error_code ec;
  EXPECT_TRUE(!std::filesystem::exists(traffic, ec) ||
              std::filesystem::file_size(traffic, ec) == 0);
  forms.Window.close();
}

// A TCP connection is made asynchronously; the wake-up must not be lost to it.
TEST(UpdaterEndToEndTest, StartUpdatesTheEmulatorOverTcp) {
  RunFromAClick([](const TEmulatorProcess& emulator) {
    return std::vector<std::string>{"--tcp", emulator.Endpoint("TCP")};
  });
}

}  // namespace

#endif
