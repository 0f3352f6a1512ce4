// The Port menu's detected ports: below a separator under LAN/Setup, the serial
// ports the system lists that no Com item stands for, asked for each time the
// menu opens; a chosen one is ticked, opened by its path and kept in the settings
// file. Against a fake lister, then against a real pseudo-terminal (which the
// system never lists, so it shows as the chosen path). Offscreen.
#include <gtest/gtest.h>

#include <QAction>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "app/ui/main_window.h"
#include "app/ui/modal_host.h"
#include "app/ui/testing/recording_modal_host.h"
#include "app/ui/testing/window_under_test.h"
#include "app/ui/updater_forms.h"
#include "engines/ms_clock.h"
#include "link/com_driver.h"
#include "link/qt_link_factory.h"
#include "link/qt_port_lister.h"
#include "link/testing/fake_port_lister.h"
#include "link/testing/pty_pair_posix.h"
#include "testing/temp_dir.h"

namespace {

std::vector<std::string> ItemTexts(const QMenu* menu) {
  std::vector<std::string> texts;
  for (const QAction* action : menu->actions()) {
    std::string text = action->isSeparator() ? "-" : action->text().toStdString();
    if (action->isChecked()) text += " *";
    texts.push_back(text);
  }
  return texts;
}

const std::vector<std::string> kFixedItems = {"Com &1 *", "Com &2", "Com &3",   "Com &4",
                                              "Com &5",   "Com &6", "Com &7",   "Com &8",
                                              "Com &9",   "-",      "LAN/Setup"};

std::vector<std::string> With(std::vector<std::string> items,
                              const std::vector<std::string>& more) {
  items.insert(items.end(), more.begin(), more.end());
  return items;
}

TSerialPortInfo Port(const std::string& path, const std::string& description = "") {
  TSerialPortInfo p;
  p.Path = path;
  p.Name = path.substr(path.rfind('/') + 1);
  p.Description = description;
  return p;
}

// Opens the Port menu as the operator does (its aboutToShow runs), then closes it.
void OpenPortMenu(TMainWindow& window) {
  QMenu* menu = window.Port1();
  menu->popup(window.mapToGlobal(QPoint(0, 0)));
  QCoreApplication::processEvents();
  menu->hide();
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(MainWindowPortsTest, DetectedPortsAreListedEachTimeTheMenuOpens) {
  TWindowUnderTest w;
  TFakePortLister lister;
  w.window->SetPortLister(&lister);
  lister.ports = {Port("/dev/ttyS0"),  // what Com 1 opens: not listed twice
                  Port("/dev/ttyUSB0", "FT232R USB UART"), Port("/dev/ttyACM0", "R&D board")};
  EXPECT_EQ(ItemTexts(w.window->Port1()), kFixedItems) << "nothing is asked before it opens";
  OpenPortMenu(*w.window);
  EXPECT_EQ(lister.calls, 1);
  EXPECT_EQ(ItemTexts(w.window->Port1()), With(kFixedItems, {"-", "/dev/ttyUSB0  (FT232R USB UART)",
                                                             "/dev/ttyACM0  (R&&D board)"}));

  w.window->DeviceItems()[0]->trigger();
  EXPECT_EQ(w.Core().SelectedPortName(), "/dev/ttyUSB0");
  EXPECT_FALSE(w.Core().Com11.Checked);

  // The adapter is unplugged and another one comes: the tick stays on the chosen path.
  lister.ports = {Port("/dev/ttyUSB1")};
  OpenPortMenu(*w.window);
  EXPECT_EQ(lister.calls, 2);
  std::vector<std::string> expected = With(kFixedItems, {"-", "/dev/ttyUSB1", "/dev/ttyUSB0 *"});
  expected[0] = "Com &1";
  EXPECT_EQ(ItemTexts(w.window->Port1()), expected);

  w.window->PortItem(2)->trigger();  // Com 3: the detected ports lose the tick
  EXPECT_EQ(w.Core().SelectedPortName(), "COM3");
  lister.ports.clear();
  OpenPortMenu(*w.window);
  expected = kFixedItems;
  expected[0] = "Com &1";
  expected[2] = "Com &3 *";
  EXPECT_EQ(ItemTexts(w.window->Port1()), expected) << "no ports found: no separator either";
}

TEST(MainWindowPortsTest, AChosenPortIsOpenedAndSavedByItsPath) {
  TWindowUnderTest w;
  TFakePortLister lister;
  lister.ports = {Port("/dev/ttyUSB0", "FT232R USB UART")};
  w.window->SetPortLister(&lister);
  OpenPortMenu(*w.window);
  w.window->DeviceItems()[0]->trigger();
  QTest::mouseClick(w.window->Start(), Qt::LeftButton);
  w.Tick();
  EXPECT_EQ(w.Core().Link().Port(), "/dev/ttyUSB0");
  EXPECT_FALSE(w.window->Port1()->menuAction()->isEnabled()) << "no change during a run";
  QTest::mouseClick(w.window->Start(), Qt::LeftButton);  // STOP
  w.Tick();
  w.window->close();
  EXPECT_NE(ReadFile(w.Core().SettingsPath()).find("CON_TYPE=RS232\r\nCOM_PORT=/dev/ttyUSB0\r\n"),
            std::string::npos)
      << ReadFile(w.Core().SettingsPath());
}

TEST(MainWindowPortsTest, APseudoTerminalChosenInTheSettingsIsShownAndOpened) {
  TPtyPair pty;
  ASSERT_TRUE(pty.ok());
  TTempDir folder;
  folder.Write("Updater.prm", "CON_TYPE=RS232\r\nCOM_PORT=" + pty.path() + "\r\n");
  TMainFichSetup setup{folder.Dir(), folder.Dir() + "script.ini", folder.Dir(),
                       folder.Dir() + "config/"};
  TRecordingModalHost host;
  TFakeClock clock;
  TUpdaterForms forms(CreateQtComDriver(), clock, setup, TWindowOptions{}, host);
  TQtPortLister system;
  forms.Window.SetPortLister(&system);
  forms.Window.UseManualTicks();
  OpenPortMenu(forms.Window);
  const std::vector<QAction*>& items = forms.Window.DeviceItems();
  ASSERT_FALSE(items.empty());
  EXPECT_EQ(items.back()->text().toStdString(), pty.path());
  EXPECT_TRUE(items.back()->isChecked());

  forms.Core.SetPackageCheck(false);  // no package: the run is about the port
  QTest::mouseClick(forms.Window.Start(), Qt::LeftButton);
  forms.Window.Timer1Timeout();  // opens the link
  EXPECT_TRUE(forms.Core.Link().ComPort().Opened()) << forms.Core.LastError();
  forms.Window.Timer1Timeout();  // wakes the device: "?" on the wire
  EXPECT_TRUE(QTest::qWaitFor([&] { return pty.Read() == "?"; }, 5000));
  QTest::mouseClick(forms.Window.Start(), Qt::LeftButton);  // STOP
  forms.Window.Timer1Timeout();
  EXPECT_FALSE(forms.Core.Link().ComPort().Opened());
}

}  // namespace
