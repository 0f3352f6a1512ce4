#include "app/ui/updater_forms.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <algorithm>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "app/ui/ip_config_dlg_view.h"
#include "app/ui/testing/recording_modal_host.h"
#include "engines/ms_clock.h"
#include "link/testing/fake_transports.h"
#include "testing/temp_dir.h"

namespace {

// The entry sequence over a link on fake transports, in a temporary program folder.
class UpdaterFormsTest : public ::testing::Test {
 protected:
  void WriteSettings(const std::string& text) { folder.Write("Updater.prm", text); }

  TUpdaterForms& Start(const std::vector<std::string>& args = {}) {
    TWindowOptions options;
    std::string error;
    EXPECT_TRUE(ParseWindowOptions(args, options, error)) << error;
    auto link = std::make_unique<TComDriver>(std::make_unique<TFakeSerial>(&calls),
                                             std::make_unique<TFakeUdp>(&calls),
                                             std::make_unique<TFakeTcp>(&calls));
    TMainFichSetup setup{folder.Dir(), options.Script, folder.Dir(), folder.Dir() + "config/"};
    forms = std::make_unique<TUpdaterForms>(std::move(link), clock, setup, options, host);
    forms->Window.UseManualTicks();
    return *forms;
  }

  std::string SavedSettings() const {
    std::ifstream in(folder.path() / "Updater.prm", std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  std::vector<std::string> Ticked() const {
    std::vector<std::string> ticked;
    for (int i = 0; i < 10; ++i) {
      if (forms->Window.PortItem(i)->isChecked()) {
        ticked.push_back(i < 9 ? "COM" + std::to_string(i + 1) : "LAN");
      }
    }
    return ticked;
  }

  TTempDir folder;
  TCallLog calls;
  TFakeClock clock;
  TRecordingModalHost host;
  std::unique_ptr<TUpdaterForms> forms;
};

TEST_F(UpdaterFormsTest, SettingsAreLoadedAtStartAndWrittenAtClose) {
  WriteSettings("CON_TYPE=UDP\r\nREMOTE_PORT=4000\r\nLOCAL_PORT=4001\r\nKEEP=me\r\n");
  TUpdaterForms& f = Start();
  EXPECT_EQ(Ticked(), std::vector<std::string>{"LAN"});

  std::vector<std::string> shown;
  host.OnExec = [&](QDialog&) {
    TIPConfigDlgView* dialog = f.Window.IPConfigDlg();
    shown = {
        dialog->RBUdp()->isChecked() ? "Udp" : "Tcp", dialog->ERemoteAddr()->text().toStdString(),
        dialog->ERemotePort()->text().toStdString(), dialog->ELocalPort()->text().toStdString()};
    QTest::mouseClick(dialog->BCancel(), Qt::LeftButton);
  };
  f.Window.PortItem(9)->trigger();
  EXPECT_EQ(shown, (std::vector<std::string>{"Udp", "192.168.0.10", "4000", "4001"}));
  EXPECT_EQ(Ticked(), std::vector<std::string>{"LAN"});

  f.Window.PortItem(1)->trigger();
  EXPECT_EQ(SavedSettings(), "CON_TYPE=UDP\r\nREMOTE_PORT=4000\r\nLOCAL_PORT=4001\r\nKEEP=me\r\n");
  f.Window.close();
  EXPECT_EQ(SavedSettings(),
            "CON_TYPE=RS232\r\nREMOTE_PORT=4000\r\nLOCAL_PORT=4001\r\nKEEP=me\r\n"
            "COM_PORT=COM2\r\nREMOTE_IP=192.168.0.10\r\n");
}

TEST_F(UpdaterFormsTest, WithoutASettingsFileComOneIsTickedAndTheDefaultsAreWritten) {
  TUpdaterForms& f = Start();
  EXPECT_EQ(Ticked(), std::vector<std::string>{"COM1"});
  f.Window.close();
  EXPECT_EQ(SavedSettings(),
            "CON_TYPE=RS232\r\nCOM_PORT=COM1\r\nREMOTE_IP=192.168.0.10\r\n"
            "REMOTE_PORT=10500\r\nLOCAL_PORT=10500\r\n");
}

TEST_F(UpdaterFormsTest, CommandLineConnectionWinsOverTheSettings) {
  struct Case {
    std::string settings;
    std::vector<std::string> args;
    std::vector<std::string> ticked;
    uint8_t mode;
    std::string address;
    uint32_t remotePort;
    uint32_t localPort;
  };
  const std::vector<Case> cases = {
      {"CON_TYPE=RS232\r\nCOM_PORT=COM3\r\n",
       {"--udp", "127.0.0.1:4000", "--local-port", "4001"},
       {"LAN"},
       2,
       "127.0.0.1",
       4000,
       4001},
      {"CON_TYPE=RS232\r\nCOM_PORT=COM3\r\n",
       {"--tcp", "10.1.2.3"},
       {"LAN"},
       3,
       "10.1.2.3",
       10500,
       10500},
      {"CON_TYPE=UDP\r\nREMOTE_IP=10.0.0.9\r\n",
       {"--port", "COM4"},
       {"COM4"},
       2,
       "10.0.0.9",
       10500,
       10500},
      {"CON_TYPE=UDP\r\n", {}, {"LAN"}, 2, "192.168.0.10", 10500, 10500},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.args));
    WriteSettings(c.settings);
    TUpdaterForms& f = Start(c.args);
    EXPECT_EQ(Ticked(), c.ticked);
    EXPECT_EQ(f.Core.IPConfigDlg.ConnectionMode(), c.mode);
    EXPECT_EQ(f.Core.IPConfigDlg.RemoteAddress(), c.address);
    EXPECT_EQ(f.Core.IPConfigDlg.RemotePort(), c.remotePort);
    EXPECT_EQ(f.Core.IPConfigDlg.LocalPort(), c.localPort);
    forms.reset();
  }
}

TEST_F(UpdaterFormsTest, ADevicePathIsTickedAsADetectedPortForThisRunOnly) {
  for (const char* settings : {"CON_TYPE=RS232\r\nCOM_PORT=COM2\r\nCOM3_DEVICE=/dev/ttyUSB3\r\n",
                               "CON_TYPE=TCP\r\nCOM_PORT=NA\r\nCOM3_DEVICE=/dev/ttyUSB3\r\n"}) {
    SCOPED_TRACE(settings);
    const bool lan = std::string(settings).find("TCP") != std::string::npos;
    WriteSettings(settings);
    calls.clear();
    TUpdaterForms& f = Start({"--port", "/dev/pts/7", "pkg/script.ini"});
    EXPECT_TRUE(Ticked().empty());
    ASSERT_EQ(f.Window.DeviceItems().size(), 1u);
    EXPECT_EQ(f.Window.DeviceItems()[0]->text().toStdString(), "/dev/pts/7");
    EXPECT_TRUE(f.Window.DeviceItems()[0]->isChecked());
    EXPECT_EQ(f.Core.SelectedPortName(), "/dev/pts/7");
    EXPECT_EQ(f.Core.Link().ResolvePortName("COM3"), "/dev/ttyUSB3");

    f.Core.SetPackageCheck(false);  // no package here: only the port it opens counts
    QTest::mouseClick(f.Window.Start(), Qt::LeftButton);
    f.Window.Timer1Timeout();
    EXPECT_EQ(f.Core.ScriptFile(), "pkg/script.ini");
    EXPECT_EQ(f.Core.Link().Port(), "/dev/pts/7");
    EXPECT_NE(std::find(calls.begin(), calls.end(), "serial.open /dev/pts/7 9600"), calls.end())
        << testing::PrintToString(calls);

    f.Window.close();
    EXPECT_EQ(SavedSettings().find("/dev/pts/7"), std::string::npos);
    EXPECT_NE(SavedSettings().find("COM3_DEVICE=/dev/ttyUSB3\r\n"), std::string::npos);
    EXPECT_NE(SavedSettings().find(lan ? "COM_PORT=NA\r\n" : "COM_PORT=COM2\r\n"),
              std::string::npos);
    forms.reset();
  }
}

TEST_F(UpdaterFormsTest, TheCommandLinesConnectionIsSavedOnlyWhenTheOperatorChangedIt) {
  struct Case {
    std::vector<std::string> args;
    int operatorPicks;  // index of the port item the operator ticks, or -1
    std::string saved;
  };
  const std::string serial3 =
      "CON_TYPE=RS232\r\nCOM_PORT=COM3\r\nREMOTE_IP=10.0.0.9\r\nREMOTE_PORT=4000\r\n"
      "LOCAL_PORT=4001\r\n";
  const std::vector<Case> cases = {
      {{"--udp", "127.0.0.1:5000", "--local-port", "5001"}, -1, serial3},
      {{"--port", "COM7"}, -1, serial3},
      {{"--port", "COM7"},
       4,
       "CON_TYPE=RS232\r\nCOM_PORT=COM5\r\nREMOTE_IP=10.0.0.9\r\nREMOTE_PORT=4000\r\n"
       "LOCAL_PORT=4001\r\n"},
      {{"--udp", "127.0.0.1:5000"},
       6,
       "CON_TYPE=RS232\r\nCOM_PORT=COM7\r\nREMOTE_IP=127.0.0.1\r\nREMOTE_PORT=5000\r\n"
       "LOCAL_PORT=4001\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.args) + " " + std::to_string(c.operatorPicks));
    WriteSettings(serial3);
    TUpdaterForms& f = Start(c.args);
    if (c.operatorPicks >= 0) f.Window.PortItem(c.operatorPicks)->trigger();
    f.Window.close();
    EXPECT_EQ(SavedSettings(), c.saved);
    forms.reset();
  }
}

TEST_F(UpdaterFormsTest, ClosingWithoutTheWindowRunsTheClosingWorkOnce) {
  WriteSettings("CON_TYPE=RS232\r\nCOM_PORT=COM3\r\n");
  TUpdaterForms& f = Start({"--tcp", "10.0.0.1"});
  f.Close();  // the program's event loop ended some other way (a signal)
  EXPECT_TRUE(f.Core.Closed());
  EXPECT_EQ(SavedSettings(),
            "CON_TYPE=RS232\r\nCOM_PORT=COM3\r\nREMOTE_IP=192.168.0.10\r\n"
            "REMOTE_PORT=10500\r\nLOCAL_PORT=10500\r\n");
  WriteSettings("untouched");
  f.Close();
  f.Window.close();
  EXPECT_EQ(SavedSettings(), "untouched");
}

}  // namespace
