// Whole runs of the sequencer against the emulated device: a fake clock, ticks of
// Timer1 and the device's replies delivered between steps. These tests pin the
// road of an update: the wake-up, the bridge boot image, the pings, the scripts,
// the normal boot image and the two ways of closing the exchange.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/main_fich.h"
#include "app/testing/emulated_run.h"
#include "link/com_driver.h"
#include "testing/serial_names.h"

namespace {

using Lines = std::vector<std::string>;

constexpr int kRunTicks = 20000;

// The device's memory from `address` on, as many bytes as `image` has.
std::vector<uint8_t> Slice(const std::vector<uint8_t>& memory, size_t offset, size_t count) {
  if (offset + count > memory.size()) return {};
  return std::vector<uint8_t>(memory.begin() + static_cast<long>(offset),
                              memory.begin() + static_cast<long>(offset + count));
}

std::vector<bool> Bits(uint32_t value) {
  std::vector<bool> bits(32);
  for (int i = 0; i < 32; ++i) bits[static_cast<size_t>(i)] = ((value >> i) & 1u) != 0;
  return bits;
}

// Progress bars as the window shows them at one moment.
struct TBars {
  TSeqState state;
  int p1, m1, p2, m2, p3, m3;
};

class SequencerRunTest : public ::testing::Test {
 protected:
  // Records the bars each time the core changes.
  void RecordBars(TEmulatedRun& run) {
    run.core().OnChanged = [this, &run] {
      TMainFich& c = run.core();
      bars.push_back({c.SeqState(), c.ProgressBar1.Position(), c.ProgressBar1.Max(),
                      c.ProgressBar2.Position(), c.ProgressBar2.Max(), c.ProgressBar3.Position(),
                      c.ProgressBar3.Max()});
      if (c.DeviceID() != 0) captions.push_back(c.Caption());
    };
  }
  // The bars the first time the state was `state`.
  const TBars* First(TSeqState state) const {
    auto it = std::find_if(bars.begin(), bars.end(),
                           [state](const TBars& b) { return b.state == state; });
    return it == bars.end() ? nullptr : &*it;
  }
  std::vector<TBars> bars;
  Lines captions;
};

const Lines kStandardCommandsAfterSync = {
    "PB", "M0", "M1", "M2",         "M3",   "M4",         "M5",  // bridge boot image, pings
    "Q0", "L0", "Z0",                                      // bridge exchange with the keyboard card
    "T0", "P0", "V0", "0102",       "P8",   "7856341214",  // main card
    "Q0", "T1", "P1", "V1",         "0102", "Z0",          // keyboard card
    "Q1", "P2", "D2", "Z1",                                // SD scaler card
    "Q3", "P0", "P9", "7856341214", "Z3",                  // HD scaler card
    "Q5", "PE", "Z5",                                      // extended input card
    "PB"};                                                 // normal boot image

TEST_F(SequencerRunTest, FullUpdateOnARevisionOneDeviceWithEveryCardPresent) {
  TEmulatedRun run;
  run.package.WriteStandard("rev1");
  RecordBars(run);
  std::string why;
  ASSERT_TRUE(run.h.RunStart(kRunTicks, &why)) << why;

  EXPECT_EQ(run.h.Log(), (Lines{"Synchronize...",
                                "Verify Device Type",
                                "Boot Checksum : 0A5C",
                                "Device ID : 01A7",
                                "Erase Bank0",
                                "Upload Bank0",
                                "Verify Bank0",
                                "Effect file opt_in\\vi3_8.svf played on chain 8: 4 statements",
                                "Erase Bank1",
                                "Upload Bank1",
                                "Verify Bank1",
                                "Erase Bank2",
                                "Upload Bank2",
                                "Verify Bank2",
                                "Extract MCU ID",
                                "ID Number : 12",
                                "Erase Bank0",
                                "Upload Bank0",
                                "Verify Bank0",
                                "Effect file hd_9.svf played on chain 9: 4 statements",
                                "Program operation completed",
                                "Click on button START to begin program operation"}));
  Lines expected = {"?", "1yU", "254yU", "%", "37"};
  expected.insert(expected.end(), kStandardCommandsAfterSync.begin(),
                  kStandardCommandsAfterSync.end());
  expected.push_back("FI");  // the device confirmed updater mode: a plain finish
  EXPECT_EQ(run.Commands(), expected);
  EXPECT_TRUE(run.h.view.Errors.empty());
  EXPECT_EQ(run.h.Connections(),
            (Lines{"serial.open " + DefaultComDevice(1) + " 9600", "serial.reset", "serial.close",
                   "tcp.close", "serial.open " + DefaultComDevice(1) + " 57600", "serial.reset",
                   "serial.close", "tcp.close"}));

  // The memories hold the package's images; the boot area was erased for each image.
  const TTestPackage& p = run.package;
  const TEmulatedDevice& d = run.device;
  EXPECT_EQ(Slice(d.BootArea(), p.NormalBoot.Address - 0x4000u, p.NormalBoot.Data.size()),
            p.NormalBoot.Data);
  EXPECT_EQ(d.BootArea()[0], 0xFF);  // the bridge image was erased with the boot area
  EXPECT_EQ(Slice(d.BankMemory(255, 0), p.MainBank0.Address, p.MainBank0.Data.size()),
            p.MainBank0.Data);
  EXPECT_EQ(
      Slice(d.BankMemory(0, 1), p.KeyboardBank1.Address - 0x8000u, p.KeyboardBank1.Data.size()),
      p.KeyboardBank1.Data);
  EXPECT_EQ(Slice(d.BankMemory(1, 2), p.ScanBank2.Address - 0x8000u, p.ScanBank2.Data.size()),
            p.ScanBank2.Data);
  EXPECT_EQ(Slice(d.BankMemory(3, 0), p.HdBank0.Address, p.HdBank0.Data.size()), p.HdBank0.Data);
  EXPECT_EQ(Slice(d.EMemory(5), p.ExtInE.Address, p.ExtInE.Data.size()), p.ExtInE.Data);
  EXPECT_EQ(d.Version(255, '0'), "0102");
  EXPECT_EQ(d.Version(0, '1'), "0102");
  EXPECT_EQ(d.Chain(255, '8').UserRegister(0), Bits(0x12345678));
  EXPECT_EQ(d.Chain(3, '9').UserRegister(0), Bits(0x12345678));

  // The extended input card answered: the main card keeps its "opt_in\" images,
  // and its card script is written back with CR LF.
  EXPECT_EQ(p.Read("rev1/VI3/script.ini"),
            "T0 0102\r\nP0 vi3_b0.hex\r\nV0 0102\r\nP8 opt_in\\vi3_8.svf\r\nrem main card\r\n");

  EXPECT_EQ(run.core().ScriptFile(), p.Dir() + "rev1" + kPathSeparator + "script.ini");
  ASSERT_FALSE(captions.empty());
  EXPECT_EQ(captions.front(), "Corvane Qelt Updater  (Device Id : 01A7)");
  EXPECT_GE(run.h.view.Repaints, 1);
  EXPECT_EQ(run.core().Caption(), "Corvane Qelt Updater  (Device Id Unknown)");

  // Progress: 6 phase steps before the script, then 2 + 6 non-empty script lines.
  const TBars* bridge = First(TSeqState::SEQ_WAIT_BRIDGE_OPEN);
  ASSERT_NE(bridge, nullptr);
  EXPECT_EQ(bridge->p2, 6);
  EXPECT_EQ(bridge->m2, 6);
  EXPECT_EQ(bridge->p3, 1);
  EXPECT_EQ(bridge->m3, 8);
  const TBars* card = First(TSeqState::SEQ_WAIT_CARD_LINE);
  ASSERT_NE(card, nullptr);
  EXPECT_EQ(card->m2, 6);  // 1 + five non-empty lines of the main card's script
  const TBars* normal = First(TSeqState::SEQ_WAIT_NORMAL_BOOT);
  ASSERT_NE(normal, nullptr);
  EXPECT_EQ(normal->m2, 3);
  EXPECT_EQ(normal->p2, 1);
  // One step after the pings and one per script line, the trailing empty line
  // included, although the maximum counts only the non-empty ones.
  EXPECT_EQ(normal->p3, 8);
  TMainFich& c = run.core();
  EXPECT_EQ(c.ProgressBar3.Position(), 8);
  EXPECT_EQ(c.ProgressBar3.Max(), 8);
  EXPECT_EQ(c.ProgressBar2.Position(), c.ProgressBar2.Max());
  EXPECT_EQ(c.ProgressBar1.Position(), c.ProgressBar1.Max());
}

TEST_F(SequencerRunTest, ClosingDependsOnTheKeyboardCardAndTheUpdaterEcho) {
  struct Case {
    const char* name;
    bool application_silent;  // no DEV report, no updater echo
    bool keyboard_present;
    Lines closing;  // commands after the normal boot image
  };
  const std::vector<Case> cases = {
      {"echo, keyboard", false, true, {"FI"}},
      {"no echo, keyboard", true, true, {"PB", "Q0", "FU", "Z0", "FI"}},
      {"no echo, no keyboard", true, false, {"FI"}},
      {"echo, no keyboard", false, false, {"FI"}},
  };
  for (const Case& k : cases) {
    TDeviceConfig config;
    config.Silent = k.application_silent;
    config.CardPresent[0] = k.keyboard_present;
    TEmulatedRun run(config);
    run.package.WriteStandard("rev1");
    run.package.WriteLines("rev1/script.ini", {"rem only the frame of an update"});
    std::string why;
    ASSERT_TRUE(run.h.RunStart(kRunTicks, &why)) << k.name << ": " << why;
    const Lines commands = run.Commands();
    // From the normal boot image ("PB" after the pings) to the end.
    auto pings_end = std::find(commands.begin(), commands.end(), "M5");
    ASSERT_NE(pings_end, commands.end()) << k.name;
    auto normal = std::find(pings_end, commands.end(), "PB");
    ASSERT_NE(normal, commands.end()) << k.name;
    EXPECT_EQ(Lines(normal + 1, commands.end()), k.closing) << k.name;
    EXPECT_EQ(run.h.Log().back(), "Click on button START to begin program operation") << k.name;
    EXPECT_EQ(std::count(run.h.Log().begin(), run.h.Log().end(), "Switch ON the device"),
              k.application_silent ? 1 : 0)
        << k.name;
    const TPackageImage& last =
        k.closing.size() > 1 ? run.package.BridgeBoot : run.package.NormalBoot;
    EXPECT_EQ(Slice(run.device.BootArea(), last.Address - 0x4000u, last.Data.size()), last.Data)
        << k.name;
  }
}

TEST_F(SequencerRunTest, RevisionZeroDeviceReadsRev0AndSkipsTheBridgeExchange) {
  TDeviceConfig config;
  config.BootType = 27;
  TEmulatedRun run(config);
  run.package.WriteStandard("rev0");
  // Written with LF only: a revision-0 run must leave the main card's script alone.
  run.package.Write("rev0/VI3/script.ini", "T0 0102\nP0 vi3_b0.hex\nP8 opt_in\\vi3_8.svf\n");
  std::string why;
  ASSERT_TRUE(run.h.RunStart(kRunTicks, &why)) << why;
  const Lines commands = run.Commands();
  ASSERT_GE(commands.size(), 15u);
  EXPECT_EQ(Lines(commands.begin(), commands.begin() + 14),
            (Lines{"?", "1yU", "254yU", "%", "37", "27", "PB", "M0", "M1", "M2", "M3", "M4", "M5",
                   "T0"}));
  EXPECT_EQ(std::count(commands.begin(), commands.end(), "L0"), 0);
  EXPECT_EQ(run.core().ScriptFile(), run.package.Dir() + "rev0" + kPathSeparator + "script.ini");
  EXPECT_EQ(run.package.Read("rev0/VI3/script.ini"),
            "T0 0102\nP0 vi3_b0.hex\nP8 opt_in\\vi3_8.svf\n");
  EXPECT_EQ(run.h.Log()[2], "Boot Checksum : 0A5C");
  EXPECT_EQ(run.h.Log()[run.h.Log().size() - 2], "Program operation completed");
  EXPECT_EQ(commands.back(), "FI");
  EXPECT_EQ(commands[commands.size() - 2], "PB");  // the normal boot image
}

TEST_F(SequencerRunTest, IdentificationPassSkipsTheBridgeExchangeAndTheNormalBootImage) {
  TEmulatedRun run({}, [](TTestPackage& p) {
    p.WriteStandard("rev1");
    p.Write("readid.ini", "");  // in the working folder: Read Id is offered
    p.WriteLines("rev1/readid.ini", {"CM", "rem nothing else"});
    p.WriteLines("rev1/VI3/readid.ini", {"T0 0100", "D0"});
  });
  ASSERT_TRUE(run.core().ReadId.Visible);
  std::string why;
  ASSERT_TRUE(run.h.RunReadId(kRunTicks, &why)) << why;
  EXPECT_EQ(run.Commands(), (Lines{"?", "1yU", "254yU", "%", "37", "PB", "M0", "M1", "M2", "M3",
                                   "M4", "M5", "T0", "D0", "FI"}));
  EXPECT_EQ(run.core().ScriptFile(), run.package.Dir() + "rev1" + kPathSeparator + "readid.ini");
  EXPECT_EQ(run.h.Log()[run.h.Log().size() - 2], "Program operation completed");
  EXPECT_EQ(run.h.Log().back(), "Click on button START to begin program operation");
  EXPECT_EQ(run.core().Start.Caption, "START");
  EXPECT_TRUE(run.core().ReadId.Enabled);
  EXPECT_TRUE(run.core().Quit.Enabled);
}

TEST_F(SequencerRunTest, MissingIdentificationScriptEndsWithItsPath) {
  TEmulatedRun run({}, [](TTestPackage& p) {
    p.WriteStandard("rev1");
    p.Write("readid.ini", "");  // only in the working folder, not in "rev1"
  });
  run.core().SetPackageCheck(false);  // the run's own error for what the check refuses
  std::string why;
  ASSERT_TRUE(run.h.RunReadId(kRunTicks, &why)) << why;
  const std::string path = run.package.Dir() + "rev1" + kPathSeparator + "readid.ini";
  EXPECT_EQ(run.h.view.Errors, Lines{path + " File not found !!!\r\n" + path});
}

TEST_F(SequencerRunTest, ScriptGivenOnTheCommandLineRunsWithoutTheNormalBootImage) {
  TEmulatedRun run(
      {},
      [](TTestPackage& p) {
        p.WriteStandard("rev1");
        p.WriteLines("rev1/custom.ini", {"C1"});
        p.WriteLines("rev1/SCAN/custom.ini", {"Q1", "T2 0100", "Z1"});
        p.WriteLines("rev1/VI3/custom.ini", {"P8 vi3_8.svf"});  // rewritten at the pings
      },
      [](TRunHarnessOptions& o) { o.ScriptArgument = o.ProgramFolder + "custom.ini"; });
  std::string why;
  ASSERT_TRUE(run.h.RunStart(kRunTicks, &why)) << why;
  EXPECT_EQ(run.Commands(), (Lines{"?", "1yU", "254yU", "%", "37", "PB", "M0", "M1", "M2", "M3",
                                   "M4", "M5", "Q1", "T2", "Z1", "FI"}));
  EXPECT_EQ(run.core().ScriptFile(), run.package.Dir() + "rev1" + kPathSeparator + "custom.ini");
  EXPECT_EQ(run.h.Log()[run.h.Log().size() - 2], "Program operation completed");
  EXPECT_EQ(run.package.Read("rev1/VI3/custom.ini"), "P8 opt_in\\vi3_8.svf\r\n");
}

TEST_F(SequencerRunTest, SuccessfulRunEndsWithTheLiteralCompletionThenIdle) {
  TEmulatedRun run;
  run.package.WriteStandard("rev1");
  run.package.WriteLines("rev1/script.ini", {"rem"});
  std::string why;
  run.core().StartClick();
  ASSERT_TRUE(
      run.h.RunUntil([&] { return run.core().SeqState() == TSeqState::SEQ_IDLE; }, kRunTicks, &why))
      << why;
  // The completed state hands over to idle at once: "QUIT" only until the next step.
  EXPECT_EQ(run.core().Start.Caption, "QUIT");
  EXPECT_TRUE(run.core().Quit.Enabled);
  EXPECT_EQ(run.h.Log().back(), "Program operation completed");
  EXPECT_EQ(run.core().Link().ConType(), CON_NONE);
  run.h.Tick();
  EXPECT_EQ(run.core().Start.Caption, "START");
  EXPECT_EQ(run.h.Log().back(), "Click on button START to begin program operation");
  EXPECT_EQ(run.core().Timer1.Interval, 500u);
  // A second run starts from there like the first.
  ASSERT_TRUE(run.h.RunStart(kRunTicks, &why)) << why;
  EXPECT_EQ(std::count(run.h.Log().begin(), run.h.Log().end(), "Program operation completed"), 2);
}

TEST_F(SequencerRunTest, NetworkRunsCarryTheSameCommands) {
  struct Case {
    bool udp;
    Lines first_transports;
  };
  const std::vector<Case> cases = {
      {true, {"udp.bind 10600", "udp.send 127.0.0.1:10700 ?"}},
      {false, {"tcp.connect 127.0.0.1:10700"}},
  };
  for (const Case& k : cases) {
    TEmulatedRun run;
    run.package.WriteStandard("rev1");
    run.package.WriteLines("rev1/script.ini", {"C1"});
    run.package.WriteLines("rev1/SCAN/script.ini", {"Q1", "T2 0100", "Z1"});
    run.h.view.OnLanSetup = [&k](TIPConfigDlg& d) {
      if (k.udp) {
        d.RBUdpClick();
      } else {
        d.RBTcpClick();
      }
      d.ELocalPort.Text = "10600";
      d.ERemoteAddr.Text = "127.0.0.1";
      d.ERemotePort.Text = "10700";
      d.BOkClick();
    };
    run.core().LAN1Click();
    std::string why;
    ASSERT_TRUE(run.h.RunStart(kRunTicks, &why)) << why;
    EXPECT_EQ(run.Commands(),
              (Lines{"?",  "1yU", "254yU", "%",  "37", "PB", "M0", "M1", "M2", "M3",
                     "M4", "M5",  "Q0",    "L0", "Z0", "Q1", "T2", "Z1", "PB", "FI"}))
        << k.udp;
    ASSERT_GE(run.h.Transports.size(), k.first_transports.size());
    EXPECT_EQ(Lines(run.h.Transports.begin(),
                    run.h.Transports.begin() + static_cast<long>(k.first_transports.size())),
              k.first_transports);
    EXPECT_EQ(run.core().Link().BaudRate(), 57600u);  // untouched by a network run
    EXPECT_EQ(run.core().Link().ConType(), CON_NONE);
  }
}

// A TCP connection that takes longer than one tick drops the first "?"; the request
// goes out again once the connection stands, so the device is still woken.
TEST_F(SequencerRunTest, SlowTcpConnectionStillWakesTheDevice) {
  TEmulatedRun run({}, {}, [](TRunHarnessOptions& o) { o.TcpConnectPumps = 5; });
  run.package.WriteStandard("rev1");
  run.package.WriteLines("rev1/script.ini", {"rem nothing"});
  run.h.view.OnLanSetup = [](TIPConfigDlg& d) {
    d.RBTcpClick();
    d.ERemoteAddr.Text = "127.0.0.1";
    d.ERemotePort.Text = "10700";
    d.BOkClick();
  };
  run.core().LAN1Click();
  std::string why;
  ASSERT_TRUE(run.h.RunStart(kRunTicks, &why)) << why;
  const Lines commands = run.Commands();
  ASSERT_GE(commands.size(), 3u);
  EXPECT_EQ(Lines(commands.begin(), commands.begin() + 3), (Lines{"?", "1yU", "254yU"}));
  EXPECT_EQ(std::count(run.h.Log().begin(), run.h.Log().end(), "Switch ON the device"), 0);
  EXPECT_EQ(std::count(run.h.Log().begin(), run.h.Log().end(), "Program operation completed"), 1);
}

}  // namespace
