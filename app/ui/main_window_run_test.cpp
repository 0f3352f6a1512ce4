// Whole runs started from the window's buttons against the emulated device.
#include <gtest/gtest.h>

#include <QMenu>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "app/ui/main_window.h"
#include "app/ui/testing/screenshots.h"
#include "app/ui/testing/window_under_test.h"
#include "engines/file_access.h"
#include "link/com_driver.h"

namespace {

constexpr int kMaxTicks = 20000;

std::vector<std::string> MemoLines(const TMainWindow& window) {
  std::vector<std::string> lines;
  for (const QString& line : window.MemoStatus()->toPlainText().split(QLatin1Char('\n'))) {
    lines.push_back(line.toStdString());
  }
  return lines;
}

bool Logged(TMainFich& core, const std::string& text) {
  const auto& lines = core.MemoStatus.Lines();
  return std::find(lines.begin(), lines.end(), text) != lines.end();
}

TEST(MainWindowRunTest, StartRunsAWholeUpdateAndTheWindowFollows) {
  TWindowUnderTest w;
  TMainWindow& window = *w.window;
  QTest::mouseClick(window.Start(), Qt::LeftButton);
  EXPECT_FALSE(w.window->Quit()->isEnabled());
  std::string why;

  // Mid-run: inside the keyboard card's script, the device already identified.
  ASSERT_TRUE(w.TickUntil([&] { return w.Core().CurrentCard() == 0; }, kMaxTicks, &why)) << why;
  EXPECT_EQ(window.windowTitle().toStdString(), "Corvane Qelt Updater  (Device Id : 01A7)");
  EXPECT_EQ(window.Start()->text().toStdString(), "STOP");
  EXPECT_FALSE(window.Port1()->menuAction()->isEnabled());
  EXPECT_FALSE(window.Program1()->menuAction()->isEnabled());
  EXPECT_TRUE(window.About1()->menuAction()->isEnabled());
  EXPECT_GT(window.ProgressBar(3)->value(), 0);
  EXPECT_LT(window.ProgressBar(3)->value(), window.ProgressBar(3)->maximum());
  EXPECT_FALSE(SaveScreenshot(window, QStringLiteral("main_window_running")).isEmpty());

  // Completed: the last step logged the end and every bar is full.
  ASSERT_TRUE(
      w.TickUntil([&] { return Logged(w.Core(), "Program operation completed"); }, kMaxTicks, &why))
      << why;
  EXPECT_EQ(MemoLines(window).back(), "Program operation completed");
  for (int n = 1; n <= 3; ++n) {
    SCOPED_TRACE(n);
    EXPECT_GT(window.ProgressBar(n)->maximum(), 1);
    EXPECT_EQ(window.ProgressBar(n)->value(), window.ProgressBar(n)->maximum());
  }
  EXPECT_EQ(window.ProgressBar(3)->maximum(), w.Core().ProgressBar3.Max());
  EXPECT_EQ(window.windowTitle().toStdString(), "Corvane Qelt Updater  (Device Id : 01A7)");
  EXPECT_TRUE(window.Port1()->menuAction()->isEnabled());
  EXPECT_EQ(w.Core().Link().ConType(), CON_NONE);
  EXPECT_FALSE(SaveScreenshot(window, QStringLiteral("main_window_completed")).isEmpty());

  // The next tick is idle again.
  w.Tick();
  const std::vector<std::string> lines = MemoLines(window);
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[lines.size() - 2], "Program operation completed");
  EXPECT_EQ(lines.back(), "Click on button START to begin program operation");
  EXPECT_EQ(lines, w.Core().MemoStatus.Lines());
  EXPECT_EQ(window.Start()->text().toStdString(), "START");
  EXPECT_TRUE(window.Quit()->isEnabled());
  EXPECT_EQ(window.ProgressBar(2)->value(), window.ProgressBar(2)->maximum());
  EXPECT_TRUE(w.host.Errors.empty());
  EXPECT_FALSE(SaveScreenshot(window, QStringLiteral("main_window_after_run")).isEmpty());

  // The device holds what the package carried.
  const std::vector<uint8_t>& bank = w.device.BankMemory(TEmulatedDevice::kMainCardSlot, 0);
  const TPackageImage& image = w.package.MainBank0;
  EXPECT_EQ(std::vector<uint8_t>(bank.begin() + image.Address,
                                 bank.begin() + image.Address + image.Data.size()),
            image.Data);
}

TEST(MainWindowRunTest, StopDuringARunReturnsToIdleOnTheNextTick) {
  const std::vector<TSeqState> stops = {TSeqState::SEQ_WAKE, TSeqState::SEQ_WAIT_CARD_LINE,
                                        TSeqState::SEQ_WAIT_NORMAL_BOOT};
  for (TSeqState stop : stops) {
    SCOPED_TRACE(static_cast<int>(stop));
    TWindowUnderTest w;
    TMainWindow& window = *w.window;
    QTest::mouseClick(window.Start(), Qt::LeftButton);
    std::string why;
    ASSERT_TRUE(w.TickToState(stop, kMaxTicks, &why)) << why;
    EXPECT_EQ(window.Start()->text().toStdString(), "STOP");
    QTest::mouseClick(window.Start(), Qt::LeftButton);
    EXPECT_TRUE(window.Quit()->isEnabled());
    w.Tick();
    EXPECT_EQ(w.Core().SeqState(), TSeqState::SEQ_IDLE);
    EXPECT_EQ(MemoLines(window).back(), "Click on button START to begin program operation");
    EXPECT_EQ(window.Start()->text().toStdString(), "START");
    EXPECT_TRUE(window.Port1()->menuAction()->isEnabled());
    EXPECT_EQ(window.windowTitle().toStdString(), "Corvane Qelt Updater  (Device Id Unknown)");
    EXPECT_EQ(w.Core().Link().ConType(), CON_NONE);
    EXPECT_TRUE(w.host.Errors.empty());
  }
}

TEST(MainWindowRunTest, AFailedRunShowsTheErrorBoxWithTheScriptPath) {
  struct Case {
    const char* name;
    std::vector<std::string> mainScript;
    const char* cardScript;  // card script removed from the package, or null
    std::string message;     // error text; the path is added by the test
    std::string script;      // relative path shown under the message
  };
  const std::vector<Case> cases = {
      {"syntax",
       {"rem", "REM upper case is no comment"},
       nullptr,
       "Syntax Error in script file line : 2",
       "rev1/script.ini"},
      {"card script", {"C1"}, "rev1/SCAN/script.ini", "", "rev1/SCAN/script.ini"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TWindowUnderTest w([&](TTestPackage& package) {
      package.WriteLines("rev1/script.ini", c.mainScript);
      if (c.cardScript) std::filesystem::remove(package.FsPath(c.cardScript));
    });
    w.Core().SetPackageCheck(false);  // the run's own errors, for what the check refuses
    TMainWindow& window = *w.window;
    const std::string path = ResolvePath(w.package.Path(c.script));
    const std::string message = c.message.empty() ? path + " File not found !!!" : c.message;
    bool linkClosedDuringBox = false;
    w.host.OnError = [&] {
      linkClosedDuringBox = w.Core().Link().ConType() == CON_NONE &&
                            w.Core().SeqState() == TSeqState::SEQ_ERROR_REPORT;
    };
    QTest::mouseClick(window.Start(), Qt::LeftButton);
    std::string why;
    ASSERT_TRUE(w.TickUntil([&] { return !w.host.Errors.empty(); }, kMaxTicks, &why)) << why;
    ASSERT_EQ(w.host.Errors.size(), 1u);
    EXPECT_EQ(w.host.Errors[0].text, message + "\r\n" + path);
    EXPECT_EQ(w.host.Errors[0].parent, &window);
    EXPECT_TRUE(linkClosedDuringBox);
    EXPECT_EQ(MemoLines(window).back(), message);

    w.Tick();
    EXPECT_EQ(MemoLines(window).back(), "Click on button START to begin program operation");
    EXPECT_EQ(window.Start()->text().toStdString(), "START");
    EXPECT_EQ(w.host.Errors.size(), 1u);
  }
}

// START on a package the check refuses: the window shows the error box over itself
// with the first findings and the count, the status log holds every finding, and
// no byte reaches the emulated device.
TEST(MainWindowRunTest, StartOnABrokenPackageShowsTheFindingsAndTouchesNothing) {
  TWindowUnderTest w([](TTestPackage& package) {
    package.WriteLines("rev1/script.ini", {"CM", "C9"});
    package.Write("rev1/VI3/vi3_b0.hex", ":0201000011\r\n:00000001FF\r\n");
  });
  TMainWindow& window = *w.window;
  QTest::mouseClick(window.Start(), Qt::LeftButton);
  ASSERT_EQ(w.host.Errors.size(), 1u);
  const std::string message =
      "The package cannot run: 2 errors, 14 warnings (nothing was sent to the device)";
  EXPECT_EQ(w.host.Errors[0].text,
            message +
                "\r\nrev1/script.ini:2: no option card 9: option cards are C0 to C5"
                "\r\nrev1/VI3/vi3_b0.hex:1: byte count 02 says 2 data bytes, the line holds 0\r\n" +
                w.package.Dir() + "script.ini");
  EXPECT_EQ(w.host.Errors[0].parent, &window);
  const std::vector<std::string> memo = MemoLines(window);
  ASSERT_EQ(memo.size(), 17u);  // 16 findings, then the refusal
  EXPECT_EQ(memo[0], "rev1/script.ini:2: no option card 9: option cards are C0 to C5");
  EXPECT_EQ(memo.back(), message);
  for (int i = 0; i < 3; ++i) w.Tick();
  EXPECT_TRUE(w.harness->Writes.empty());
  EXPECT_EQ(window.Start()->text().toStdString(), "START");
  EXPECT_EQ(MemoLines(window).back(), "Click on button START to begin program operation");
}

TEST(MainWindowRunTest, ClosingMidRunStopsTheTimerSavesAndClosesTheLink) {
  TWindowUnderTest w;
  TMainWindow& window = *w.window;
  QTest::mouseClick(window.Start(), Qt::LeftButton);
  std::string why;
  ASSERT_TRUE(w.TickToState(TSeqState::SEQ_WAIT_CARD_LINE, kMaxTicks, &why)) << why;
  ASSERT_NE(w.Core().Link().ConType(), CON_NONE);
  const size_t written = w.harness->Writes.size();
  window.close();
  EXPECT_TRUE(w.Core().Closed());
  EXPECT_FALSE(w.Core().Timer1.Enabled);
  EXPECT_EQ(w.Core().Link().ConType(), CON_NONE);
  EXPECT_EQ(w.package.Read("Updater.prm"),
            "CON_TYPE=RS232\r\nCOM_PORT=COM1\r\nREMOTE_IP=192.168.0.10\r\n"
            "REMOTE_PORT=10500\r\nLOCAL_PORT=10500\r\n");
  // Nothing more reaches the device, whatever the event loop still delivers.
  w.Tick();
  w.Tick();
  EXPECT_EQ(w.harness->Writes.size(), written);
}

}  // namespace
