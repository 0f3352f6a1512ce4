// The package check before a run, in the core: START and Read Id judge the package
// before the link is opened. A refused package shows its findings (the error box
// lists the first ones and the count, the status log holds them all) and nothing
// reaches the device; a long check goes on a slice per tick with STOP on offer.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/main_fich.h"
#include "app/testing/emulated_run.h"
#include "link/com_driver.h"

namespace {

using Lines = std::vector<std::string>;
constexpr int kTicks = 20000;

// A standard revision-1 package on the emulated device, with a log of the run's
// end events and of the check's verdicts.
struct TCheckedRun {
  TCheckedRun() {
    run.package.WriteStandard("rev1");
    run.core().OnRunEnd = [this](TRunEnd end, const std::string& message, const std::string&) {
      Ends.push_back(std::string(end == TRunEnd::RUN_FAILED    ? "failed "
                                 : end == TRunEnd::RUN_STOPPED ? "stopped "
                                                               : "completed ") +
                     message);
    };
    run.core().OnPackageChecked = [this](const std::vector<TFinding>& findings, bool can_run) {
      Checks.push_back(std::to_string(findings.size()) + (can_run ? " can run" : " refused"));
    };
  }
  TMainFich& core() { return run.core(); }
  std::string Dir() const { return run.package.Dir(); }

  TEmulatedRun run;
  Lines Ends;
  Lines Checks;
};

const char kRefusal[] = "The package cannot run: 1 error (nothing was sent to the device)";

TEST(PackageCheckRun, ABrokenPackageIsRefusedBeforeTheLinkOpens) {
  TCheckedRun r;
  r.run.package.WriteLines("rev1/VI3/script.ini", {"T0 0102", "P0 vi3_b0.hex", "V0 0102",
                                                   "P8 opt_in\\vi3_8.svf", "P1 vi3_hi.hex", "C1"});
  r.core().StartClick();
  // Judged within the click: refused, the box shown, the window idle again.
  EXPECT_EQ(r.core().SeqState(), TSeqState::SEQ_IDLE);
  EXPECT_FALSE(r.core().CheckRunning());
  ASSERT_EQ(r.run.h.view.Errors.size(), 1u);
  EXPECT_EQ(r.run.h.view.Errors[0], std::string(kRefusal) +
                                        "\r\nrev1/VI3/script.ini:6: no engine takes this line"
                                        "\r\n" +
                                        r.Dir() + "script.ini");
  EXPECT_EQ(r.run.h.Log(), (Lines{"rev1/VI3/script.ini:6: no engine takes this line", kRefusal}));
  EXPECT_EQ(r.Checks, Lines{"1 refused"});
  EXPECT_EQ(r.Ends, Lines{std::string("failed ") + kRefusal});
  EXPECT_EQ(r.core().Start.Caption, "START");
  EXPECT_TRUE(r.core().Quit.Enabled);
  for (int i = 0; i < 5; ++i) r.run.h.Tick();
  EXPECT_TRUE(r.run.h.Writes.empty());  // the device never saw a byte
  EXPECT_EQ(r.core().Link().ConType(), CON_NONE);
  EXPECT_EQ(r.Ends.size(), 1u);

  // Mended, the same START runs the update.
  r.run.package.WriteLines("rev1/VI3/script.ini", {"T0 0102", "P0 vi3_b0.hex", "V0 0102"});
  std::string why;
  ASSERT_TRUE(r.run.h.RunStart(kTicks, &why)) << why;
  EXPECT_EQ(r.Checks, (Lines{"1 refused", "3 can run"}));  // its warnings do not stop it
  EXPECT_EQ(r.Ends.back(), "completed Program operation completed");
}

// The box lists the first ten errors and says how many more the status log holds;
// warnings are in the log only.
TEST(PackageCheckRun, TheBoxListsTheFirstErrorsAndTheCount) {
  TCheckedRun r;
  Lines card;
  for (int i = 0; i < 13; ++i) card.push_back("FOO " + std::to_string(i));
  r.run.package.WriteLines("rev1/VI3/script.ini", card);
  std::string why;
  ASSERT_TRUE(r.run.h.RunStart(kTicks, &why)) << why;
  ASSERT_EQ(r.run.h.view.Errors.size(), 1u);
  const std::string& box = r.run.h.view.Errors[0];
  EXPECT_EQ(box.substr(0, box.find("\r\n")),
            "The package cannot run: 13 errors, 4 warnings (nothing was sent to the device)");
  EXPECT_NE(box.find("\r\nrev1/VI3/script.ini:10: no engine takes this line\r\n... and 3 more "
                     "errors in the status log\r\n" +
                     r.Dir() + "script.ini"),
            std::string::npos)
      << box;
  EXPECT_EQ(box.find(":11:"), std::string::npos);
  EXPECT_EQ(box.find(": warning: "), std::string::npos);
  const Lines& log = r.run.h.Log();
  EXPECT_EQ(std::count_if(log.begin(), log.end(),
                          [](const std::string& l) { return l.find(": warning: ") != l.npos; }),
            4);
  EXPECT_TRUE(r.run.h.Writes.empty());
}

// A check longer than a click goes on a slice per tick, with STOP and the progress
// bars; STOP ends it and the run, with nothing opened.
TEST(PackageCheckRun, ALongCheckRunsOnTheTimerAndStopEndsIt) {
  TCheckedRun r;
  // Three slices of comment lines, which a playback passes in one step.
  std::string effect;
  for (int i = 0; i < 3 * static_cast<int>(TPackageCheck::kSliceLines); ++i) {
    effect += "// vectors\r\n";
  }
  r.run.package.Write("rev1/VI3/opt_in/vi3_8.svf", effect + "SIR 8 TDI (FE);\r\n");
  r.core().StartClick();
  EXPECT_TRUE(r.core().CheckRunning());
  EXPECT_EQ(r.core().SeqState(), TSeqState::SEQ_IDLE);
  EXPECT_EQ(r.core().Start.Caption, "STOP");
  EXPECT_FALSE(r.core().Port1.Enabled);
  EXPECT_EQ(r.core().Timer1.Interval, 10u);
  const int first = r.core().ProgressBar3.Position();
  r.run.h.Tick();
  EXPECT_GT(r.core().ProgressBar3.Position(), first);
  EXPECT_EQ(r.core().ProgressBar3.Max(), 1000);
  r.core().StartClick();  // STOP
  EXPECT_FALSE(r.core().CheckRunning());
  r.run.h.Tick();
  EXPECT_EQ(r.Ends, Lines{"stopped "});
  EXPECT_EQ(r.Checks, Lines{});
  EXPECT_EQ(r.core().Start.Caption, "START");
  EXPECT_TRUE(r.run.h.Writes.empty());

  // Left alone, the same check passes after some ticks and the run goes on.
  std::string why;
  ASSERT_TRUE(r.run.h.RunStart(kTicks, &why)) << why;
  EXPECT_EQ(r.Checks, Lines{"1 can run"});  // a warning: vi3_hi.hex is named by no line
  EXPECT_EQ(r.Ends.back(), "completed Program operation completed");
}

// In Manual mode the lines of cleared components are never reached, so their
// faults do not refuse the run.
TEST(PackageCheckRun, ManualModeChecksOnlyTheSelectedComponents) {
  TCheckedRun r;
  r.run.package.WriteLines("rev1/VI3/script.ini", {"T0 0102", "P0 vi3_b0.hex", "PA absent.svf"});
  r.run.h.view.OnComponentSelection = [](TCompSelDlg& d) { d.CBUD3CPLD.Checked = false; };
  r.core().MManualClick();
  std::string why;
  ASSERT_TRUE(r.run.h.RunStart(kTicks, &why)) << why;
  EXPECT_EQ(r.Ends.back(), "completed Program operation completed");

  r.run.h.view.OnComponentSelection = [](TCompSelDlg& d) { d.CBUD3CPLD.Checked = true; };
  r.core().MManualClick();
  ASSERT_TRUE(r.run.h.RunStart(kTicks, &why)) << why;
  EXPECT_EQ(r.Ends.back(),
            "failed The package cannot run: 2 errors, 3 warnings (nothing was sent to the device)");
}

// Read Id checks the identification script and its card scripts.
TEST(PackageCheckRun, ReadIdChecksTheIdentificationScript) {
  TEmulatedRun run({}, [](TTestPackage& p) {
    p.WriteStandard("rev1");
    p.Write("readid.ini", "");
    p.WriteLines("rev1/readid.ini", {"CM", "C1"});
    p.WriteLines("rev1/VI3/readid.ini", {"D0", "D8"});
  });
  std::string why;
  ASSERT_TRUE(run.h.RunReadId(kTicks, &why)) << why;
  ASSERT_EQ(run.h.view.Errors.size(), 1u);
  EXPECT_NE(run.h.view.Errors[0].find(
                "\r\nrev1/readid.ini:2: card script rev1/SCAN/readid.ini not found\r\n"),
            std::string::npos)
      << run.h.view.Errors[0];
  EXPECT_TRUE(run.h.Writes.empty());
}

}  // namespace
