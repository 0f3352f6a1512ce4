// The package faults a new user meets, each in a copy of the sample package run by
// TUpdateRunner against the emulated device: every one is refused before the link
// is opened, the first finding naming the file, the line and the reason, and no
// byte reaches the device. With --skip-check the engines still never send after an
// erase a line the device could not take: the run ends with the file, the line and
// the reason, and the memory is as it was.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "engines/card_table.h"
#include "link/com_driver.h"
#include "tools/testing/update_runner_fixture.h"

namespace {

using Lines = std::vector<std::string>;

Lines SplitLines(const std::string& text) {
  Lines lines;
  size_t start = 0;
  for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
    lines.push_back(text.substr(start, end - start));
  }
  return lines;
}

std::string FirstLine(const std::string& text) { return text.substr(0, text.find('\n')); }

const char kBank[] = "rev1/VI3/VI3_B0.HEX";
const char kProm[] = "rev1/HD/HD_PROM1.svf";

class UpdateRunnerRefusal : public UpdateRunner {
 protected:
  // Rewrites the sample package, then line `number` (1-based) of `path` as `edit`
  // leaves it.
  void WriteWithLine(const std::string& path, size_t number,
                     const std::function<void(std::string&)>& edit) {
    WritePackage();
    Lines lines = SplitLines(SampleFile(path));
    edit(lines.at(number - 1));
    std::string text;
    for (const std::string& line : lines) text += line + "\r\n";
    dir_.Write(path, text);
  }
  void Fresh() {
    TearDown();
    out_.str("");
    err_.str("");
    std::filesystem::remove_all(dir_.path() / "rev1");
    std::filesystem::remove_all(dir_.path() / "rev0");
  }
};

TEST_F(UpdateRunnerRefusal, EveryFaultOfTheListIsRefusedBeforeTheLinkOpens) {
  const auto line_is = [](const std::string& text) { return [text](std::string& l) { l = text; }; };
  const struct {
    const char* what;
    std::function<void()> fault;
    std::string finding;  // the first line on stderr; a trailing '*' matches a prefix
  } cases[] = {
      {"blank bank line", [&] { WriteWithLine(kBank, 3, line_is("")); },
       "rev1/VI3/VI3_B0.HEX:3: blank line"},
      {"garbage bank line", [&] { WriteWithLine(kBank, 3, line_is("garbage")); },
       "rev1/VI3/VI3_B0.HEX:3: not a record: a line of an Intel HEX file begins with ':'"},
      {"truncated bank line",
       [&] { WriteWithLine(kBank, 3, [](std::string& l) { l.resize(41); }); },
       "rev1/VI3/VI3_B0.HEX:3: byte count 20 says 32 data bytes, the line holds 15"},
      {"wrong record checksum",
       [&] {
         WriteWithLine(kBank, 3, [](std::string& l) { l.back() = l.back() == '0' ? '1' : '0'; });
       },
       "rev1/VI3/VI3_B0.HEX:3: record checksum is *"},
      {"lower-case bank line",
       [&] {
         WriteWithLine(kBank, 3, [](std::string& l) {
           std::transform(l.begin(), l.end(), l.begin(), [](char c) {
             return c >= 'A' && c <= 'F' ? static_cast<char>(c - 'A' + 'a') : c;
           });
         });
       },
       "rev1/VI3/VI3_B0.HEX:3: lower-case hex digit *"},
      {"syntax error in the main script's last line",
       [&] {
         WritePackage();
         dir_.Write("rev1/script.ini", SampleFile("rev1/script.ini") + "FOO\r\n");
       },
       "rev1/script.ini:12: no engine takes this line"},
      {"C9",
       [&] {
         WritePackage();
         dir_.Write("rev1/script.ini", SampleFile("rev1/script.ini") + "C9\r\n");
       },
       "rev1/script.ini:12: no option card 9: option cards are C0 to C5"},
      {"missing card folder",
       [&] {
         WritePackage();
         std::filesystem::remove_all(dir_.path() / "rev1" / "HD");
       },
       "rev1/script.ini:10: card script rev1/HD/script.ini not found"},
      {"FREQUENCY", [&] { WriteWithLine(kProm, 15, line_is("FREQUENCY 1E6 HZ;")); },
       "rev1/HD/HD_PROM1.svf:15: FREQUENCY is not part of the Effect language"},
      {"HDR", [&] { WriteWithLine(kProm, 15, line_is("HDR 0;")); },
       "rev1/HD/HD_PROM1.svf:15: HDR is not part of the Effect language"},
      {"PIO", [&] { WriteWithLine(kProm, 15, line_is("PIO (HLHL);")); },
       "rev1/HD/HD_PROM1.svf:15: PIO is not part of the Effect language"},
      {"missing ';'", [&] { WriteWithLine(kProm, 15, line_is("SDR 8 TDI (FF)")); },
       "rev1/HD/HD_PROM1.svf:15: missing ';'"},
      {"SDR over 512 bits", [&] { WriteWithLine(kProm, 15, line_is("SDR 600 TDI (00);")); },
       "rev1/HD/HD_PROM1.svf:15: SDR longer than 512 bits"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Fresh();
    c.fault();
    TEmulatedDevice device;
    Build(&device, {});
    ASSERT_EQ(Run(), kExitFailed) << out_.str();
    const std::string first = FirstLine(err_.str());
    if (c.finding.ends_with('*')) {
      EXPECT_TRUE(first.starts_with(c.finding.substr(0, c.finding.size() - 1))) << first;
    } else {
      EXPECT_EQ(first, c.finding);
    }
    EXPECT_NE(err_.str().find("\nThe package cannot run: "), std::string::npos) << err_.str();
    EXPECT_TRUE(harness_->Writes.empty());
    EXPECT_EQ(Core().Link().ConType(), CON_NONE);
  }
}

// --skip-check: the engines judge a whole image or Effect file before its erase or
// first statement; a line the device could never take ends the run there.
TEST_F(UpdateRunnerRefusal, SkippingTheCheckNeverSendsABadLineAfterAnErase) {
  const std::string sep(1, kPathSeparator);
  const struct {
    const char* what;
    std::function<void()> fault;
    std::string message;  // after the card folder's path
    std::string card;
  } cases[] = {
      {"blank bank line", [&] { WriteWithLine(kBank, 3, [](std::string& l) { l.clear(); }); },
       "VI3_B0.HEX:3: blank line !!!", "VI3"},
      {"FREQUENCY",
       [&] { WriteWithLine(kProm, 15, [](std::string& l) { l = "FREQUENCY 1E6 HZ;"; }); },
       "HD_PROM1.svf:15: FREQUENCY is not part of the Effect language !!!", "HD"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Fresh();
    c.fault();
    TEmulatedDevice device;
    const std::vector<uint8_t> bank0 = device.BankMemory(255, 0);
    Build(&device, {"--skip-check"});
    ASSERT_EQ(Run(), kExitFailed) << out_.str();
    const std::string card_dir = dir_.Dir() + "rev1" + sep + c.card + sep;
    EXPECT_EQ(err_.str(), card_dir + c.message + "\n" + card_dir + "script.ini\n");
    EXPECT_FALSE(harness_->Writes.empty());  // the run did reach the device
    // The main card's bank 0: never erased when its own image is refused (the HD
    // card comes after the main card, whose bank the run does write).
    if (c.card == "VI3") {
      EXPECT_EQ(device.BankMemory(255, 0), bank0);
    }
  }
}

}  // namespace
