#include "app/ui/main_window.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/ui/comp_sel_dlg_view.h"
#include "app/ui/ip_config_dlg_view.h"
#include "app/ui/testing/screenshots.h"
#include "app/ui/testing/window_under_test.h"
#include "link/com_driver.h"
#include "testing/temp_dir.h"

namespace {

std::vector<std::string> ItemTexts(const QMenu* menu) {
  std::vector<std::string> texts;
  for (const QAction* action : menu->actions()) {
    texts.push_back(action->isSeparator() ? "-" : action->text().toStdString());
  }
  return texts;
}

// Which of Com 1..9 and LAN/Setup are ticked on the screen, as "1".."9" and "LAN".
std::vector<std::string> TickedPorts(const TMainWindow& window) {
  std::vector<std::string> ticked;
  for (int i = 0; i < 10; ++i) {
    if (window.PortItem(i)->isChecked()) ticked.push_back(i < 9 ? std::to_string(i + 1) : "LAN");
  }
  return ticked;
}

TEST(MainWindowTest, FixedWindowWithTheControlsInPlace) {
  TWindowUnderTest w;
  TMainWindow& window = *w.window;
  EXPECT_EQ(window.windowTitle().toStdString(), "Corvane Qelt Updater  (Device Id Unknown)");
  EXPECT_EQ(window.centralWidget()->size(), QSize(528, 216));
  EXPECT_EQ(window.minimumSize(), window.maximumSize());
  EXPECT_TRUE(window.windowFlags() & Qt::WindowMinimizeButtonHint);
  EXPECT_FALSE(window.windowFlags() & Qt::WindowMaximizeButtonHint);
  EXPECT_TRUE(window.windowFlags() & Qt::MSWindowsFixedSizeDialogHint);

  const QRect start = window.Start()->geometry();
  EXPECT_EQ(start.size(), QSize(169, 41));
  EXPECT_LE(std::abs(start.left() - (528 - start.left() - start.width())), 1);  // centred
  EXPECT_GT(start.top(), window.ProgressBar(3)->geometry().bottom());
  EXPECT_LE(start.bottom(), 216);
  EXPECT_EQ(window.Start()->text().toStdString(), "START");
  for (QPushButton* side : {window.ReadId(), window.Quit()}) {
    EXPECT_EQ(side->geometry().size(), QSize(137, 41));
    EXPECT_EQ(side->geometry().top(), start.top());
    EXPECT_FALSE(side->isVisible());  // no "readid.ini" in the working folder
  }
  EXPECT_LT(window.ReadId()->geometry().right(), start.left());
  EXPECT_GT(window.Quit()->geometry().left(), start.right());

  QPlainTextEdit* memo = window.MemoStatus();
  EXPECT_EQ(memo->geometry().size(), QSize(484, 105));
  EXPECT_LT(memo->geometry().top(), window.ProgressBar(1)->geometry().top());
  EXPECT_TRUE(memo->isReadOnly());
  EXPECT_EQ(memo->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
  EXPECT_EQ(memo->font().pixelSize(), 13);
  EXPECT_EQ(memo->palette().color(QPalette::Base),
            QApplication::palette("QMenu").color(QPalette::Window));

  int previousBottom = memo->geometry().bottom();
  for (int n = 1; n <= 3; ++n) {
    SCOPED_TRACE(n);
    QProgressBar* bar = window.ProgressBar(n);
    EXPECT_EQ(bar->geometry().width(), 528 - 16);
    EXPECT_GT(bar->geometry().top(), previousBottom);
    previousBottom = bar->geometry().bottom();
    EXPECT_FALSE(bar->isTextVisible());
    EXPECT_EQ(bar->minimum(), 0);
    EXPECT_EQ(bar->maximum(), 100);
    EXPECT_EQ(bar->value(), 0);
  }
}

TEST(MainWindowTest, MenusAndTheirRadioGroups) {
  TWindowUnderTest w;
  TMainWindow& window = *w.window;
  std::vector<std::string> titles;
  for (const QAction* action : window.menuBar()->actions()) {
    titles.push_back(action->text().toStdString());
  }
  EXPECT_EQ(titles, (std::vector<std::string>{"&Port", "&Mode", "&About"}));
  EXPECT_EQ(ItemTexts(window.Port1()),
            (std::vector<std::string>{"Com &1", "Com &2", "Com &3", "Com &4", "Com &5", "Com &6",
                                      "Com &7", "Com &8", "Com &9", "-", "LAN/Setup"}));
  EXPECT_EQ(ItemTexts(window.Program1()), (std::vector<std::string>{"&Auto", "&Manual"}));
  EXPECT_EQ(ItemTexts(window.About1()), (std::vector<std::string>{"&About Qelt Updater..."}));

  QActionGroup* ports = window.PortItem(0)->actionGroup();
  ASSERT_NE(ports, nullptr);
  EXPECT_TRUE(ports->isExclusive());
  for (int i = 0; i < 10; ++i) {
    EXPECT_TRUE(window.PortItem(i)->isCheckable());
    EXPECT_EQ(window.PortItem(i)->actionGroup(), ports);
  }
  ASSERT_NE(window.MAuto()->actionGroup(), nullptr);
  EXPECT_EQ(window.MAuto()->actionGroup(), window.MManual()->actionGroup());
  EXPECT_NE(window.MAuto()->actionGroup(), ports);
  EXPECT_TRUE(window.MAuto()->actionGroup()->isExclusive());
  window.Port1()->popup(window.mapToGlobal(QPoint(0, 0)));
  EXPECT_FALSE(SaveScreenshot(*window.Port1(), QStringLiteral("port_menu")).isEmpty());
  window.Port1()->hide();

  EXPECT_EQ(TickedPorts(window), std::vector<std::string>{"1"});
  EXPECT_TRUE(window.MAuto()->isChecked());
  EXPECT_FALSE(window.MManual()->isChecked());
  w.Tick();  // the first idle tick greets the operator
  EXPECT_EQ(window.MemoStatus()->toPlainText().toStdString(),
            "Click on button START to begin program operation");
  EXPECT_FALSE(SaveScreenshot(window, QStringLiteral("main_window_idle")).isEmpty());
}

TEST(MainWindowTest, ComItemsShowTheDeviceTheyOpen) {
  TWindowUnderTest w([](TTestPackage& package) {
    package.WriteLines("Updater.prm",
                       {"CON_TYPE=RS232", "COM_PORT=COM2", "COM2_DEVICE=/dev/ttyUSB0"});
  });
  const std::string com1 = w.Core().Link().ResolvePortName("COM1");
  if (com1 == "COM1") GTEST_SKIP() << "Com items open devices of their own name here";
  EXPECT_EQ(w.window->PortItem(0)->toolTip().toStdString(), com1);
  EXPECT_EQ(w.window->PortItem(1)->toolTip().toStdString(), "/dev/ttyUSB0");
  EXPECT_TRUE(w.window->Port1()->toolTipsVisible());
  EXPECT_EQ(TickedPorts(*w.window), std::vector<std::string>{"2"});
}

TEST(MainWindowTest, LanSetupAndComItemsShareOneRadioGroup) {
  TWindowUnderTest w;
  TMainWindow& window = *w.window;
  window.PortItem(2)->trigger();
  EXPECT_EQ(TickedPorts(window), std::vector<std::string>{"3"});
  EXPECT_EQ(w.Core().SelectedPortName(), "COM3");

  // Cancelled: the ticks stay.
  w.host.OnExec = [&](QDialog&) {
    QTest::mouseClick(window.IPConfigDlg()->BCancel(), Qt::LeftButton);
  };
  window.PortItem(9)->trigger();
  EXPECT_EQ(w.host.Opened, std::vector<std::string>{"IPConfigDlg"});
  EXPECT_EQ(TickedPorts(window), std::vector<std::string>{"3"});

  // Applied: LAN/Setup takes the tick from Com 3.
  w.host.OnExec = [&](QDialog&) { QTest::mouseClick(window.IPConfigDlg()->BOk(), Qt::LeftButton); };
  window.PortItem(9)->trigger();
  EXPECT_EQ(TickedPorts(window), std::vector<std::string>{"LAN"});
  EXPECT_TRUE(w.Core().LAN1.Checked);
  EXPECT_FALSE(w.Core().Com31.Checked);
  EXPECT_FALSE(window.IPConfigDlg()->isVisible());

  window.PortItem(2)->trigger();
  EXPECT_EQ(TickedPorts(window), std::vector<std::string>{"3"});
  EXPECT_FALSE(w.Core().LAN1.Checked);

  // Triggering the ticked item again keeps it ticked.
  window.PortItem(2)->trigger();
  EXPECT_EQ(TickedPorts(window), std::vector<std::string>{"3"});
}

TEST(MainWindowTest, LanSetupWarningsAppearOverTheDialog) {
  TWindowUnderTest w;
  TMainWindow& window = *w.window;
  w.host.OnExec = [&](QDialog&) {
    TIPConfigDlgView* dialog = window.IPConfigDlg();
    QTest::mouseClick(dialog->RBUdp(), Qt::LeftButton);
    dialog->ELocalPort()->selectAll();
    QTest::keyClicks(dialog->ELocalPort(), QStringLiteral("70000"));
    QTest::mouseClick(dialog->BOk(), Qt::LeftButton);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_FALSE(SaveScreenshot(*dialog, QStringLiteral("lan_setup")).isEmpty());
  };
  window.PortItem(9)->trigger();
  ASSERT_EQ(w.host.Warnings.size(), 1u);
  EXPECT_EQ(w.host.Warnings[0].text, "Choose a Local Port <0-65535>");
  EXPECT_EQ(w.host.Warnings[0].parent, window.IPConfigDlg());
  EXPECT_FALSE(w.Core().IPConfigDlg.Applied);
  EXPECT_EQ(TickedPorts(window), std::vector<std::string>{"1"});
}

TEST(MainWindowTest, ManualOpensTheComponentSelectionAndAutoDoesNot) {
  TWindowUnderTest w;
  TMainWindow& window = *w.window;
  w.host.OnExec = [&](QDialog&) {
    TCompSelDlgView* dialog = window.CompSelDlg();
    dialog->PCCompSel()->setCurrentIndex(3);
    QTest::mouseClick(dialog->BoxFor(w.Core().CompSelDlg.CBSCANSD), Qt::LeftButton, {},
                      QPoint(6, 6));
    QTest::mouseClick(dialog->OKBtn(), Qt::LeftButton);
  };
  window.MManual()->trigger();
  EXPECT_EQ(w.host.Opened, std::vector<std::string>{"CompSelDlg"});
  EXPECT_TRUE(window.MManual()->isChecked());
  EXPECT_FALSE(window.MAuto()->isChecked());
  EXPECT_FALSE(w.Core().CompSelDlg.CBSCANSD.Checked);
  EXPECT_FALSE(w.Core().CompSelDlg.CBSCANSDPROM2.Enabled);

  window.MAuto()->trigger();
  EXPECT_EQ(w.host.Opened.size(), 1u);
  EXPECT_TRUE(window.MAuto()->isChecked());
  EXPECT_FALSE(window.MManual()->isChecked());
}

TEST(MainWindowTest, AboutItemShowsTheAboutBox) {
  TWindowUnderTest w;
  w.window->AboutQeltUpdater1()->trigger();
  EXPECT_EQ(w.host.Opened, std::vector<std::string>{"AboutBox"});
}

TEST(MainWindowTest, Timer1FollowsTheCoreAndStopsForGoodAtClose) {
  TWindowUnderTest w;
  TMainWindow& window = *w.window;
  const QTimer& timer = window.Timer1();
  EXPECT_FALSE(timer.isActive());  // the test ticks by hand
  EXPECT_EQ(timer.interval(), 500);

  // A second window over the same core, on the real timer this time.
  window.hide();
  {
    TMainWindow live(w.Core(), w.host);
    EXPECT_TRUE(live.Timer1().isActive());
    EXPECT_EQ(live.Timer1().interval(), 500);
    QTest::mouseClick(live.Start(), Qt::LeftButton);
    live.Timer1Timeout();  // the run opens the link: 10 ms ticks
    EXPECT_EQ(w.Core().SeqState(), TSeqState::SEQ_WAKE);
    EXPECT_EQ(live.Timer1().interval(), 10);
    EXPECT_TRUE(live.Timer1().isActive());
    live.close();
    EXPECT_TRUE(w.Core().Closed());
    EXPECT_FALSE(live.Timer1().isActive());
    live.Timer1Timeout();
    EXPECT_FALSE(live.Timer1().isActive());
  }
}

TEST(MainWindowTest, ReadIdAndQuitShowWhenReadidIniIsInTheWorkingFolder) {
  TTempDir work;
  work.Write("readid.ini", "rem\r\n");
  TRunHarnessOptions options;
  options.WorkingFolder = work.Dir();
  TWindowUnderTest w(nullptr, options);
  EXPECT_TRUE(w.window->ReadId()->isVisible());
  EXPECT_TRUE(w.window->Quit()->isVisible());
  EXPECT_EQ(w.window->ReadId()->text().toStdString(), "Read Id");
  EXPECT_EQ(w.window->Quit()->text().toStdString(), "Quit");
  EXPECT_TRUE(w.window->ReadId()->isEnabled());
  w.Tick();
  EXPECT_FALSE(SaveScreenshot(*w.window, QStringLiteral("main_window_read_id")).isEmpty());

  QTest::mouseClick(w.window->Quit(), Qt::LeftButton);
  EXPECT_FALSE(w.window->isVisible());
  EXPECT_TRUE(w.Core().Closed());
  EXPECT_TRUE(w.package.Exists("Updater.prm"));
}

}  // namespace
