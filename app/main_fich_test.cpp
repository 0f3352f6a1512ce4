// TMainFich without the emulator: controls at start-up, menus, the settings file
// through the window, the first opening of a run, a silent device, the operator's
// stop and the re-entry guard. The device, where one is needed, is a small scripted
// responder.
#include "app/main_fich.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "app/testing/run_harness.h"
#include "app/testing/test_package.h"
#include "link/com_driver.h"
#include "testing/serial_names.h"

namespace {

// "COMn" as an error names it: with the device it stands for where that is another
// name ("COM3 (/dev/ttyS2)" on POSIX, "COM3" on Windows).
std::string Com(int n) {
  const std::string name = "COM" + std::to_string(n);
  const std::string device = DefaultComDevice(n);
  return device == name ? name : name + " (" + device + ")";
}

using Lines = std::vector<std::string>;

// A device whose application answers the type request and the updater echo.
std::string ApplicationReplies(const std::string& write) {
  if (write == "?") return "DEV37\r\n";
  if (write == "254yU") return "UPD254\r\n";
  return "";
}

int Count(const Lines& lines, const std::string& text) {
  return static_cast<int>(std::count(lines.begin(), lines.end(), text));
}

class MainFichTest : public ::testing::Test {
 protected:
  TRunHarnessOptions Options() const {
    TRunHarnessOptions o;
    o.ProgramFolder = package.Dir();
    o.WorkingFolder = package.Dir();
    o.UserConfigFolder = package.Dir() + "user" + kPathSeparator;
    // These tests drive the link and the wake-up with no package written: the
    // check would refuse the missing script before the link opens.
    o.PackageCheck = false;
    return o;
  }
  TTestPackage package;
};

TEST_F(MainFichTest, StartsIdleWithTheDesignTimeControls) {
  TRunHarness h(Options());
  TMainFich& c = *h.core;
  EXPECT_EQ(c.Start.Caption, "START");
  EXPECT_TRUE(c.Start.Visible);
  EXPECT_FALSE(c.ReadId.Visible);
  EXPECT_FALSE(c.Quit.Visible);
  EXPECT_EQ(c.ReadId.Caption, "Read Id");
  EXPECT_EQ(c.Quit.Caption, "Quit");
  EXPECT_TRUE(c.Com11.Checked);
  EXPECT_TRUE(c.MAuto.Checked);
  EXPECT_FALSE(c.MManual.Checked);
  EXPECT_EQ(c.Port1.Caption, "&Port");
  EXPECT_EQ(c.Program1.Caption, "&Mode");
  EXPECT_EQ(c.LAN1.Caption, "LAN/Setup");
  EXPECT_EQ(c.Com91.Caption, "Com &9");
  EXPECT_EQ(c.Timer1.Interval, 500u);
  EXPECT_EQ(c.Caption(), "Corvane Qelt Updater  (Device Id Unknown)");
  EXPECT_TRUE(c.MemoStatus.Empty());
  EXPECT_EQ(c.SeqState(), TSeqState::SEQ_IDLE);
  EXPECT_EQ(c.Link().Tag, 1);
  EXPECT_EQ(c.Link().BaudRate(), 57600u);
  EXPECT_EQ(c.Link().ConMode(), MODE_RAW);
}

TEST_F(MainFichTest, ReadIdFileInTheWorkingFolderShowsReadIdAndQuit) {
  package.Write("readid.ini", "");
  TRunHarness h(Options());
  EXPECT_TRUE(h.core->ReadId.Visible);
  EXPECT_TRUE(h.core->Quit.Visible);
}

TEST_F(MainFichTest, IdleTicksLogTheInvitationOnceAndResetTheRun) {
  TRunHarness h(Options());
  for (int i = 0; i < 5; ++i) h.Tick();
  EXPECT_EQ(h.Log(), Lines{"Click on button START to begin program operation"});
  EXPECT_EQ(h.core->Timer1.Interval, 500u);
  EXPECT_TRUE(h.core->Timer1.Enabled);
  EXPECT_EQ(h.core->CurentCardDir(), package.Dir());
  EXPECT_EQ(h.core->CurrentCard(), -1);
  EXPECT_EQ(h.Wire, "");
}

TEST_F(MainFichTest, PortMenuIsOneRadioGroupAndNamesTheSerialPort) {
  TRunHarness h(Options());
  TMainFich& c = *h.core;
  struct Case {
    std::function<void()> click;
    std::string port;
  };
  h.view.OnLanSetup = [](TIPConfigDlg& d) { d.BOkClick(); };
  const std::vector<Case> cases = {
      {[&] { c.Com31Click(); }, "COM3"}, {[&] { c.Com91Click(); }, "COM9"},
      {[&] { c.LAN1Click(); }, "COM1"},  {[&] { c.Com21Click(); }, "COM2"},
      {[&] { c.Com11Click(); }, "COM1"},
  };
  for (const Case& k : cases) {
    k.click();
    int ticked = 0;
    for (TMenuItem* item : c.Port1.Items) ticked += item->Checked ? 1 : 0;
    EXPECT_EQ(ticked, 1);
    EXPECT_EQ(c.SelectedPortName(), k.port);
  }
  EXPECT_FALSE(c.LAN1.Checked);
}

TEST_F(MainFichTest, LanSetupTicksLanOnlyWhenApplied) {
  TRunHarness h(Options());
  TMainFich& c = *h.core;
  c.Com41Click();
  h.view.OnLanSetup = [](TIPConfigDlg& d) {
    d.ERemotePort.Text = "70000";
    d.BOkClick();  // refused: stays open
    d.BCancelClick();
  };
  c.LAN1Click();
  EXPECT_TRUE(c.Com41.Checked);
  EXPECT_FALSE(c.LAN1.Checked);
  EXPECT_EQ(h.view.Warnings, Lines{"Choose a Remote Port <0-65535>"});
  h.view.OnLanSetup = [](TIPConfigDlg& d) {
    d.ERemotePort.Text = "4000";
    d.RBUdpClick();
    d.BOkClick();
  };
  c.LAN1Click();
  EXPECT_TRUE(c.LAN1.Checked);
  EXPECT_FALSE(c.Com41.Checked);
  EXPECT_EQ(c.IPConfigDlg.ConnectionMode(), CON_UDP);
  EXPECT_EQ(c.IPConfigDlg.RemotePort(), 4000u);
  h.view.OnLanSetup = nullptr;  // closed with the window's own button
  c.Com21Click();
  c.LAN1Click();
  EXPECT_TRUE(c.LAN1.Checked);  // Applied is still set from the last closing
}

TEST_F(MainFichTest, ModeMenuShowsTheSelectionOnManual) {
  TRunHarness h(Options());
  TMainFich& c = *h.core;
  int shown = 0;
  h.view.OnComponentSelection = [&](TCompSelDlg& d) {
    ++shown;
    d.CBKeyb3.Checked = false;
  };
  c.MManualClick();
  EXPECT_EQ(shown, 1);
  EXPECT_TRUE(c.MManual.Checked);
  EXPECT_FALSE(c.MAuto.Checked);
  EXPECT_FALSE(c.CompSelDlg.CBKeyb3.Checked);
  c.MAutoClick();
  EXPECT_EQ(shown, 1);
  EXPECT_TRUE(c.MAuto.Checked);
  EXPECT_FALSE(c.CompSelDlg.CBKeyb3.Checked);  // the ticks persist
  c.AboutQeltUpdater1Click();
  EXPECT_EQ(h.view.Abouts, 1);
}

// ---- Settings through the window ---------------------------------------------------

TEST_F(MainFichTest, NoSettingsFileGivesDefaultsAndClosingWritesTheFiveLines) {
  TRunHarness h(Options());
  TMainFich& c = *h.core;
  EXPECT_TRUE(c.Com11.Checked);
  EXPECT_FALSE(c.LAN1.Checked);
  EXPECT_EQ(c.IPConfigDlg.ConnectionMode(), CON_TCP);
  EXPECT_EQ(c.IPConfigDlg.RemoteAddress(), "192.168.0.10");
  EXPECT_EQ(c.IPConfigDlg.RemotePort(), 10500u);
  EXPECT_EQ(c.IPConfigDlg.LocalPort(), 10500u);
  c.QuitClick();
  EXPECT_EQ(h.view.Closes, 1);
  EXPECT_TRUE(c.Closed());
  EXPECT_FALSE(c.Timer1.Enabled);
  EXPECT_EQ(package.Read("Updater.prm"),
            "CON_TYPE=RS232\r\nCOM_PORT=COM1\r\nREMOTE_IP=192.168.0.10\r\n"
            "REMOTE_PORT=10500\r\nLOCAL_PORT=10500\r\n");
  c.FormClose();  // a second close does nothing more
  EXPECT_EQ(h.view.Closes, 1);
}

TEST_F(MainFichTest, UdpSettingsLoadIntoTheDialogAndSaveBackInPlace) {
  package.Write("Updater.prm", "# site\nCON_TYPE=UDP\nREMOTE_PORT=4000\nLOCAL_PORT=4001\n");
  TRunHarness h(Options());
  TMainFich& c = *h.core;
  EXPECT_TRUE(c.LAN1.Checked);
  EXPECT_FALSE(c.Com11.Checked);
  EXPECT_EQ(c.IPConfigDlg.ConnectionMode(), CON_UDP);
  EXPECT_TRUE(c.IPConfigDlg.RBUdp.Checked);
  EXPECT_EQ(c.IPConfigDlg.RemoteAddress(), "192.168.0.10");
  EXPECT_EQ(c.IPConfigDlg.RemotePort(), 4000u);
  EXPECT_EQ(c.IPConfigDlg.LocalPort(), 4001u);
  c.FormClose();
  EXPECT_EQ(package.Read("Updater.prm"),
            "# site\r\nCON_TYPE=UDP\r\nREMOTE_PORT=4000\r\nLOCAL_PORT=4001\r\n"
            "COM_PORT=NA\r\nREMOTE_IP=192.168.0.10\r\n");
}

TEST_F(MainFichTest, SettingsEdgeCasesOnLoadAndSave) {
  struct Case {
    std::string file;
    std::string ticked;  // caption of the ticked port item
    uint8_t mode;
    std::string saved;
  };
  const std::vector<Case> cases = {
      {"con_type=TCP\r\n", "LAN/Setup", CON_TCP,
       "CON_TYPE=TCP\r\nCOM_PORT=NA\r\nREMOTE_IP=192.168.0.10\r\nREMOTE_PORT=10500\r\n"
       "LOCAL_PORT=10500\r\n"},
      {"CON_TYPE=tcp\r\nCOM_PORT=COM5\r\n", "Com &5", CON_TCP,
       "CON_TYPE=RS232\r\nCOM_PORT=COM5\r\nREMOTE_IP=192.168.0.10\r\nREMOTE_PORT=10500\r\n"
       "LOCAL_PORT=10500\r\n"},
      {"CON_TYPE = TCP\r\n", "Com &1", CON_TCP,
       "CON_TYPE = TCP\r\nCON_TYPE=RS232\r\nCOM_PORT=COM1\r\nREMOTE_IP=192.168.0.10\r\n"
       "REMOTE_PORT=10500\r\nLOCAL_PORT=10500\r\n"},
      // An empty first line reads as missing; saving fills that line in.
      {"COM_PORT=\r\nCON_TYPE=RS232\r\n", "Com &1", CON_TCP,
       "COM_PORT=COM1\r\nCON_TYPE=RS232\r\nREMOTE_IP=192.168.0.10\r\n"
       "REMOTE_PORT=10500\r\nLOCAL_PORT=10500\r\n"},
      {"CON_TYPE=RS232\r\nCOM_PORT=COM7\r\nREMOTE_IP=10.1.1.1\r\nREMOTE_PORT=x\r\n"
       "LOCAL_PORT=99999\r\n",
       "Com &7", CON_TCP,
       "CON_TYPE=RS232\r\nCOM_PORT=COM7\r\nREMOTE_IP=10.1.1.1\r\nREMOTE_PORT=10500\r\n"
       "LOCAL_PORT=10500\r\n"},
  };
  for (const Case& k : cases) {
    TTestPackage p;
    p.Write("Updater.prm", k.file);
    TRunHarnessOptions o;
    o.ProgramFolder = p.Dir();
    TRunHarness h(o);
    std::string ticked;
    for (TMenuItem* item : h.core->Port1.Items) {
      if (item->Checked) ticked = item->Caption;
    }
    EXPECT_EQ(ticked, k.ticked) << k.file;
    EXPECT_EQ(h.core->IPConfigDlg.ConnectionMode(), k.mode) << k.file;
    h.core->FormClose();
    EXPECT_EQ(p.Read("Updater.prm"), k.saved) << k.file;
    TRunHarness again(o);  // the saved file reads back to the same choice
    std::string reticked;
    for (TMenuItem* item : again.core->Port1.Items) {
      if (item->Checked) reticked = item->Caption;
    }
    EXPECT_EQ(reticked, k.ticked) << k.file;
  }
}

// A file whose first REMOTE_IP line is empty, with a later one that loading never
// reads: the value saved is the value the next start reads, and a second save
// writes the same file.
TEST_F(MainFichTest, ASavedValueIsReadBackAndSavingTwiceChangesNothing) {
  package.Write("Updater.prm",
                "CON_TYPE=UDP\r\nREMOTE_IP=\r\nREMOTE_PORT=4000\r\nREMOTE_IP=10.0.0.9\r\n");
  TRunHarnessOptions o = Options();
  std::string first_save;
  {
    TRunHarness h(o);
    EXPECT_EQ(h.core->IPConfigDlg.RemoteAddress(), "192.168.0.10");  // first line: missing
    h.core->IPConfigDlg.SetRemoteAddress("10.1.2.3");
    h.core->FormClose();
    first_save = package.Read("Updater.prm");
  }
  EXPECT_EQ(first_save,
            "CON_TYPE=UDP\r\nREMOTE_IP=10.1.2.3\r\nREMOTE_PORT=4000\r\nREMOTE_IP=10.0.0.9\r\n"
            "COM_PORT=NA\r\nLOCAL_PORT=10500\r\n");
  for (int start = 0; start < 2; ++start) {
    TRunHarness h(o);
    EXPECT_EQ(h.core->IPConfigDlg.RemoteAddress(), "10.1.2.3");
    EXPECT_EQ(h.core->IPConfigDlg.RemotePort(), 4000u);
    h.core->FormClose();
    EXPECT_EQ(package.Read("Updater.prm"), first_save) << "start " << start;
  }
}

TEST_F(MainFichTest, ComDeviceKeysGiveTheDeviceOfEachComItem) {
  package.Write("Updater.prm",
                "CON_TYPE=RS232\r\nCOM_PORT=COM3\r\nCOM3_DEVICE=/dev/pts/7\r\n"
                "com9_device=/dev/ttyUSB1\r\n");
  TRunHarness h(Options());
  TMainFich& c = *h.core;
  EXPECT_EQ(c.ComDevice(3), "/dev/pts/7");
  EXPECT_EQ(c.ComDevice(9), "/dev/ttyUSB1");
  EXPECT_EQ(c.ComDevice(4), "");
  EXPECT_EQ(c.Link().ResolvePortName("COM3"), "/dev/pts/7");
  EXPECT_EQ(c.Link().ResolvePortName("COM9"), "/dev/ttyUSB1");
  c.StartClick();
  h.Tick();
  ASSERT_FALSE(h.Transports.empty());
  EXPECT_EQ(h.Transports.front(), "serial.open /dev/pts/7 9600");
  c.StartClick();  // stop
  h.Tick();
  c.FormClose();
  EXPECT_EQ(package.Read("Updater.prm"),
            "CON_TYPE=RS232\r\nCOM_PORT=COM3\r\nCOM3_DEVICE=/dev/pts/7\r\n"
            "com9_device=/dev/ttyUSB1\r\nREMOTE_IP=192.168.0.10\r\nREMOTE_PORT=10500\r\n"
            "LOCAL_PORT=10500\r\n");
}

TEST_F(MainFichTest, ReadOnlyProgramFolderKeepsTheSettingsInTheUserFolder) {
  TRunHarnessOptions o = Options();
  o.ProgramFolder = package.Dir() + "not-a-folder" + kPathSeparator;  // cannot be written
  {
    TRunHarness h(o);
    EXPECT_EQ(h.core->SettingsPath(), o.UserConfigFolder + "Updater.prm");
    h.core->Com61Click();
    h.core->FormClose();
    EXPECT_TRUE(h.view.Warnings.empty());
  }
  EXPECT_EQ(package.Read("user/Updater.prm"),
            "CON_TYPE=RS232\r\nCOM_PORT=COM6\r\nREMOTE_IP=192.168.0.10\r\n"
            "REMOTE_PORT=10500\r\nLOCAL_PORT=10500\r\n");
  TRunHarness again(o);
  EXPECT_TRUE(again.core->Com61.Checked);
}

TEST_F(MainFichTest, SettingsThatCannotBeSavedAnywhereAreReported) {
  package.Write("blocker", "a file where a folder should be");
  TRunHarnessOptions o = Options();
  o.ProgramFolder = package.Dir() + "missing" + kPathSeparator;
  o.UserConfigFolder = package.Dir() + "blocker" + kPathSeparator + "sub" + kPathSeparator;
  TRunHarness h(o);
  EXPECT_FALSE(h.core->SaveSettings());
  ASSERT_EQ(h.view.Warnings.size(), 1u);
  EXPECT_EQ(
      h.view.Warnings[0].rfind("Settings not saved to " + o.UserConfigFolder + "Updater.prm : ", 0),
      0u)
      << h.view.Warnings[0];
}

// ---- Opening the link ------------------------------------------------------------------

TEST_F(MainFichTest, SerialPortThatCannotBeOpenedEndsTheRunWithItsReasonAndNextStep) {
  struct Case {
    std::string reason;
    TLinkFault fault;
    std::string next;  // the line after the reason; empty when there is none
  };
  const std::vector<Case> cases = {
      {"No such file or directory", TLinkFault::LF_MISSING,
       "is the adapter plugged in? `--list-ports`"},
      {"Permission denied", TLinkFault::LF_PERMISSION, "add your user to the group `dialout`"},
      // The serial backend's text when another program holds the port's lock.
      {"Permission error while locking the device", TLinkFault::LF_BUSY,
       "another program holds it: close it"},
      // The text another platform gives for a port open in another program.
      {"Access is denied.", TLinkFault::LF_BUSY, "another program holds it: close it"},
      {"Inappropriate ioctl for device", TLinkFault::LF_NOT_SERIAL,
       "this is not a serial port: choose one that `--list-ports` or the Port menu shows"},
      {"Is a directory", TLinkFault::LF_OTHER, ""},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.reason);
    TRunHarnessOptions o = Options();
    o.MissingDevices = {DefaultComDevice(3)};
    o.OpenFailure = k.reason;
    o.OpenFault = k.fault;
    TRunHarness h(o);
    h.core->Com31Click();
    std::string why;
    ASSERT_TRUE(h.RunStart(10, &why)) << why;
    const std::string error = "Error while opening COM3\n" + Com(3) + ": " + k.reason +
                              (k.next.empty() ? "" : "\n" + k.next);
    EXPECT_EQ(h.Log(), (Lines{error, "Click on button START to begin program operation"}));
    EXPECT_EQ(h.view.Errors, Lines{error + "\r\n" + package.Dir() + "script.ini"});
    EXPECT_EQ(h.Wire, "");
  }
}

TEST_F(MainFichTest, ADevicePathIsNamedAsGiven) {
  TRunHarnessOptions o = Options();
  o.MissingDevices = {"/dev/ttyUSB7"};
  TRunHarness h(o);
  h.core->DevicePortClick("/dev/ttyUSB7");
  std::string why;
  ASSERT_TRUE(h.RunStart(10, &why)) << why;
  EXPECT_EQ(h.core->LastError(),
            "Error while opening /dev/ttyUSB7\n/dev/ttyUSB7: No such file or directory\n"
            "is the adapter plugged in? `--list-ports`");
}

TEST_F(MainFichTest, NetworkThatCannotBeOpenedEndsTheRun) {
  TRunHarnessOptions o = Options();
  o.UdpBindFails = true;
  package.Write("Updater.prm", "CON_TYPE=UDP\r\nLOCAL_PORT=10600\r\n");
  TRunHarness h(o);
  std::string why;
  ASSERT_TRUE(h.RunStart(10, &why)) << why;
  const std::string error =
      "Error while opening LAN Device\nlocal UDP port 10600: The bound address is already in use";
  EXPECT_EQ(h.Log(), (Lines{error, "Click on button START to begin program operation"}));
  EXPECT_EQ(h.view.Errors, Lines{error + "\r\n" + package.Dir() + "script.ini"});
}

// ---- A device that does not answer --------------------------------------------------------

TEST_F(MainFichTest, SilentDeviceGetsSwitchOnOnceAfterOneHundredTicks) {
  TRunHarness h(Options());
  TMainFich& c = *h.core;
  c.StartClick();
  EXPECT_FALSE(c.Quit.Enabled);
  h.Tick();  // opens the link, 10 ms ticks from now on
  EXPECT_EQ(c.Timer1.Interval, 10u);
  EXPECT_EQ(c.Start.Caption, "STOP");
  EXPECT_FALSE(c.Port1.Enabled);
  EXPECT_FALSE(c.Program1.Enabled);
  h.Tick();  // asks for the type
  EXPECT_EQ(h.Wire, "?");
  EXPECT_EQ(c.TimeLeft(), 1000u);
  for (int i = 0; i < 99; ++i) h.Tick();
  EXPECT_EQ(c.SeqState(), TSeqState::SEQ_WAIT_TYPE);
  EXPECT_EQ(Count(h.Log(), "Switch ON the device"), 0);
  h.Tick();  // the hundredth tick of the wait
  EXPECT_EQ(h.Log().back(), "Switch ON the device");
  for (int i = 0; i < 20; ++i) h.Tick();
  EXPECT_EQ(c.SeqState(), TSeqState::SEQ_WAIT_BOOT_SYNC);
  EXPECT_EQ(Count(h.Log(), "Switch ON the device"), 1);
  EXPECT_EQ(h.Log(), (Lines{"Synchronize...", "Switch ON the device"}));
  // Raw mode on a port reopened at 57600 bit/s, then "%" until the boot loader answers.
  EXPECT_EQ(h.Connections(),
            (Lines{"serial.open " + DefaultComDevice(1) + " 9600", "serial.reset", "serial.close",
                   "tcp.close", "serial.open " + DefaultComDevice(1) + " 57600"}));
  EXPECT_EQ(h.Wire.substr(0, 3), "?%%");
  EXPECT_EQ(h.Wire.find_first_not_of('%', 1), std::string::npos);
}

TEST_F(MainFichTest, UpdaterModeIsAskedForAndItsEchoAwaited) {
  TScriptedDevice device;
  device.reply = ApplicationReplies;
  TRunHarness h(Options(), &device);
  h.core->StartClick();
  ASSERT_TRUE(h.RunToState(TSeqState::SEQ_WAIT_BOOT_SYNC, 20));
  h.Tick();  // the boot loader is called
  EXPECT_TRUE(h.core->UpdaterAck());
  ASSERT_GE(h.Writes.size(), 4u) << ::testing::PrintToString(h.Writes);
  EXPECT_EQ(h.Writes[0], "?");
  EXPECT_EQ(h.Writes[1], "1yU");
  EXPECT_EQ(h.Writes[2], "254yU");
  EXPECT_EQ(h.Writes[3], "%");
}

// Device types 36 to 39 are asked into updater mode; any other type is not, and
// the run goes on to the boot loader once the type request has timed out.
TEST_F(MainFichTest, OnlyDeviceTypes36To39AreAskedIntoUpdaterMode) {
  for (int type = 34; type <= 41; ++type) {
    const bool known = type >= 36 && type <= 39;
    TScriptedDevice device;
    device.reply = [type](const std::string& w) {
      if (w == "?") return "DEV" + std::to_string(type) + "\r\n";
      return w == "254yU" ? std::string("UPD254\r\n") : std::string();
    };
    TRunHarness h(Options(), &device);
    h.core->StartClick();
    ASSERT_TRUE(h.RunToState(TSeqState::SEQ_WAIT_BOOT_SYNC, 150)) << type;
    h.Tick();  // the boot loader is called
    ASSERT_GE(h.Writes.size(), 2u) << type;
    const Lines first(h.Writes.begin(), h.Writes.begin() + (known ? 4 : 2));
    EXPECT_EQ(first, known ? (Lines{"?", "1yU", "254yU", "%"}) : (Lines{"?", "%"})) << type;
    EXPECT_EQ(h.core->UpdaterAck(), known) << type;
    EXPECT_EQ(h.Log(),
              known ? Lines{"Synchronize..."} : (Lines{"Synchronize...", "Switch ON the device"}))
        << type;
  }
}

TEST_F(MainFichTest, NoUpdaterEchoWithinHalfASecondGoesOnWithoutTheAck) {
  TScriptedDevice device;
  device.reply = [](const std::string& w) { return w == "?" ? std::string("DEV38\r\n") : ""; };
  TRunHarness h(Options(), &device);
  h.core->StartClick();
  ASSERT_TRUE(h.RunToState(TSeqState::SEQ_WAIT_UPDATER, 10));
  int ticks = 0;
  while (h.core->SeqState() == TSeqState::SEQ_WAIT_UPDATER && ticks < 200) {
    h.Tick();
    ++ticks;
  }
  EXPECT_EQ(ticks, 50);  // 50 ticks of 10 ms
  EXPECT_FALSE(h.core->UpdaterAck());
  EXPECT_EQ(h.Log(), Lines{"Synchronize..."});
}

TEST_F(MainFichTest, ReportsFromAnEarlierRunDoNotWakeASilentDevice) {
  TScriptedDevice device;
  bool alive = true;
  device.reply = [&](const std::string& w) { return alive ? ApplicationReplies(w) : ""; };
  TRunHarness h(Options(), &device);
  h.core->StartClick();
  ASSERT_TRUE(h.RunToState(TSeqState::SEQ_WAIT_BOOT_SYNC, 50));
  EXPECT_TRUE(h.core->UpdaterAck());
  EXPECT_EQ(h.core->Link().DEV(), 37u);
  h.core->StartClick();  // stop: the boot loader never answers this device
  h.Tick();
  alive = false;  // switched off between the runs; the link still holds DEV 37, UPD 254
  h.core->StartClick();
  ASSERT_TRUE(h.RunToState(TSeqState::SEQ_WAIT_BOOT_SYNC, 150));
  EXPECT_FALSE(h.core->UpdaterAck());
  EXPECT_EQ(h.Log().back(), "Switch ON the device");
  EXPECT_EQ(std::count(h.Writes.begin(), h.Writes.end(), "254yU"), 1);
}

// ---- The operator's stop -------------------------------------------------------------------

TEST_F(MainFichTest, StopInAWaitingStateReturnsToIdleOnTheNextTick) {
  const std::vector<TSeqState> states = {TSeqState::SEQ_WAIT_TYPE, TSeqState::SEQ_WAIT_UPDATER,
                                         TSeqState::SEQ_WAIT_BOOT_SYNC};
  for (TSeqState state : states) {
    TScriptedDevice device;
    device.reply = [](const std::string& w) { return w == "?" ? std::string("DEV36\r\n") : ""; };
    TRunHarness h(Options(), &device);
    h.core->StartClick();
    ASSERT_TRUE(h.RunToState(state, 200)) << static_cast<int>(state);
    const size_t wire = h.Wire.size();
    h.core->StartClick();
    EXPECT_TRUE(h.core->Quit.Enabled);
    h.Tick();
    EXPECT_EQ(h.core->SeqState(), TSeqState::SEQ_IDLE);
    EXPECT_EQ(h.Log().back(), "Click on button START to begin program operation");
    EXPECT_EQ(h.core->Start.Caption, "START");
    EXPECT_TRUE(h.core->Port1.Enabled);
    EXPECT_EQ(h.core->Link().ConType(), CON_NONE);
    EXPECT_EQ(h.Wire.size(), wire);  // nothing was sent to the device
    EXPECT_TRUE(h.view.Errors.empty());
  }
}

TEST_F(MainFichTest, TextArrivingAfterStopIsKeptButCausesNoStep) {
  TRunHarness h(Options());
  h.core->StartClick();
  ASSERT_TRUE(h.RunToState(TSeqState::SEQ_WAIT_BOOT_SYNC, 200));
  h.core->StartClick();  // idle, but the link is still open until the next tick
  const std::string wire = h.Wire;
  h.DeviceSays("zz");
  h.Pump();
  EXPECT_EQ(h.core->RxBuffer(), "zz");
  EXPECT_EQ(h.Wire, wire);
  EXPECT_EQ(h.core->SeqState(), TSeqState::SEQ_IDLE);
  EXPECT_TRUE(h.core->Timer1.Enabled);
}

// ---- Re-entry -----------------------------------------------------------------------------

// A view whose modal error box lets a timer tick through: the step must not run inside
// the step that shows the box.
class TReenteringView : public TRecordingView {
 public:
  TMainFich* core = nullptr;
  void ShowError(const std::string& text) override {
    TRecordingView::ShowError(text);
    core->Timer1Timer();
  }
};

TEST_F(MainFichTest, SequencerStepIsNeverReEntered) {
  TRunHarnessOptions o = Options();
  o.MissingDevices = {DefaultComDevice(1)};
  EXPECT_DEBUG_DEATH(
      {
        TRunHarness h(o);
        TReenteringView view;
        view.core = h.core.get();
        h.core->SetView(&view);
        h.RunStart(10);
        h.core->SetView(nullptr);
      },
      "re-entered");
}

}  // namespace
