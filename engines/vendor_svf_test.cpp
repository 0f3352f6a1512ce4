// Vendor-written vector files against the Effect file language and the JTAG engine.
// The files (engines/testdata, origins and licences in its SOURCES.md) are full SVF,
// not the one-statement-per-line language: every line must still give a record,
// "Error" or nothing, and playing a file must stop cleanly before its first
// statement, naming the first line the language does not accept and the reason.
// Exact figures are pinned per file, so any change in what the parser accepts
// shows up here.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "engines/effect_language.h"
#include "engines/file_access.h"
#include "engines/intel_hex.h"
#include "engines/ms_clock.h"
#include "engines/prog_jtag.h"
#include "engines/testing/engine_harness.h"

namespace {

namespace fs = std::filesystem;

// The source tree: from the test environment, else from where this file was built.
fs::path SourceDir() {
  if (const char* src = std::getenv("QELT_SOURCE_DIR")) return src;
  return fs::path(__FILE__).parent_path().parent_path();
}

struct TVendorFile {
  const char* name;          // in engines/testdata
  size_t lines;              // lines of the file
  int records;               // lines that give a record
  int errors;                // lines that give "Error"
  int first_foreign;         // number of the first "Error" line
  const char* foreign_text;  // that line, without its line end
  const char* reason;        // why it is refused
  int first_written;         // number of the first "Error" line that is not blank
  const char* written_text;  // that line
};

const TVendorFile kVendorFiles[] = {
    // Line 3 is blank, which is no statement; FREQUENCY, HIR, TIR, HDR and TDR do not
    // exist in the language.
    {"VHDL-CPLDIntro1LEDon.svf", 5162, 5109, 34, 3, "", "blank line", 9, "FREQUENCY 1E6 HZ;"},
    // The same, and 50 statements wrapped over two lines: neither half is a statement.
    {"bbv3-jtagkey.svf", 642, 482, 130, 3, "", "blank line", 9, "FREQUENCY 1E6 HZ;"},
    // TRST is skipped, ENDIR and ENDDR would be played; HDR does not exist in the
    // language. Odd-length hex fields, times in seconds and three-line statements fail.
    {"snes_dejitter.svf", 3668, 666, 2998, 7, "HDR 0;", "HDR is not part of the Effect language", 7,
     "HDR 0;"},
};

// True when `record` is a well-formed Intel HEX line whose checksum adds up.
bool WellFormedRecord(const std::string& record) {
  if (record.size() < 11 || record[0] != ':' || record.size() % 2 == 0) return false;
  unsigned sum = 0;
  for (size_t i = 1; i < record.size(); i += 2) {
    if (!std::isxdigit(static_cast<unsigned char>(record[i])) ||
        !std::isxdigit(static_cast<unsigned char>(record[i + 1]))) {
      return false;
    }
    sum += static_cast<unsigned>(HexDigitValue(record[i]) * 16 + HexDigitValue(record[i + 1]));
  }
  const size_t count =
      static_cast<size_t>(HexDigitValue(record[1]) * 16 + HexDigitValue(record[2]));
  return (sum & 0xFF) == 0 && record.size() == 11 + 2 * count;
}

// What parsing every line of a file gives.
struct TFileParse {
  size_t lines = 0;
  int records = 0;
  int errors = 0;
  int first_foreign = 0;     // 0: no "Error" line
  std::string foreign_text;  // the first "Error" line
  int first_written = 0;     // the first "Error" line that is not blank
  std::string written_text;
};

TFileParse ParseFile(const fs::path& path) {
  TFileParse out;
  std::vector<std::string> lines;
  EXPECT_TRUE(LoadTextLines(Utf8FromPath(path), lines)) << path;
  out.lines = lines.size();
  for (size_t i = 0; i < lines.size(); ++i) {
    TEffectStatement st;
    std::string result;
    ParseStatement(lines[i], result, st);
    if (result == kEffectErrorResult) {
      ++out.errors;
      if (out.first_foreign == 0) {
        out.first_foreign = static_cast<int>(i + 1);
        out.foreign_text = lines[i];
      }
      if (out.first_written == 0 && !lines[i].empty()) {
        out.first_written = static_cast<int>(i + 1);
        out.written_text = lines[i];
      }
    } else if (!result.empty()) {
      ++out.records;
      EXPECT_TRUE(WellFormedRecord(result)) << path << ":" << i + 1 << ": " << result;
      if (st.RawBlockPending) {
        EXPECT_LE(st.TdiHex.size(), kEffectMaxRawBlock);
      }
    }
  }
  return out;
}

void ExpectParse(const fs::path& path, const TVendorFile& f) {
  const TFileParse p = ParseFile(path);
  EXPECT_EQ(p.lines, f.lines) << path;
  EXPECT_EQ(p.records, f.records) << path;
  EXPECT_EQ(p.errors, f.errors) << path;
  EXPECT_EQ(p.first_foreign, f.first_foreign) << path;
  EXPECT_EQ(p.foreign_text, f.foreign_text) << path;
  EXPECT_EQ(CheckEffectLine(p.foreign_text), f.reason) << path;
  EXPECT_EQ(p.first_written, f.first_written) << path;
  EXPECT_EQ(p.written_text, f.written_text) << path;
}

// Plays `path` into component 8 with a device that answers "." to everything, and
// checks that the engine sends no statement at all: the check during the pause
// stops it at the first foreign line, named with its number and reason.
void ExpectPlayback(const fs::path& path, const TVendorFile& f) {
  TFakeClock clock;
  TEngineHarness<TProgJtag> h(clock);
  h.engine.UpdateAllowed = true;
  ASSERT_TRUE(h.Offer("P8 " + Utf8FromPath(path)));
  h.Pump();
  h.ExpectWire("P8");
  h.Answer(".");
  clock.Advance(TProgJtag::kPauseMs);
  h.Pump();
  for (size_t i = 0; i < 100 && h.engine.Busy; ++i) h.Answer(".");
  EXPECT_EQ(h.engine.ErrorText,
            path.string() + ":" + std::to_string(f.first_foreign) + ": " + f.reason + " !!!")
      << path;
  h.ExpectNothingSent();
  EXPECT_FALSE(h.engine.Busy);
  EXPECT_FALSE(h.engine.EffectFileOpen());
}

TEST(VendorSvf, EveryLineGivesARecordAnErrorOrNothing) {
  for (const TVendorFile& f : kVendorFiles) {
    ExpectParse(SourceDir() / "engines" / "testdata" / f.name, f);
  }
}

TEST(VendorSvf, PlayingStopsBeforeItsFirstStatement) {
  for (const TVendorFile& f : kVendorFiles) {
    ExpectPlayback(SourceDir() / "engines" / "testdata" / f.name, f);
  }
}

// A GPL-licensed vendor file stays out of the tree; it is checked where the shared
// test data lies beside the source tree (developers' machines), and skipped elsewhere.
TEST(VendorSvf, SharedGplFileBesideTheTree) {
  const fs::path path = SourceDir() / ".." / "shared" / "testdata" / "svf" / "R3DUX.SVF";
  std::error_code ec;
  if (!fs::exists(path, ec)) GTEST_SKIP() << "no shared vector files beside the tree";
  // Line 1 is blank, which is no statement; "!" comments, tab-separated and
  // multi-line statements fail too.
  const TVendorFile f = {
      "R3DUX.SVF", 2082, 5, 2077, 1, "", "blank line", 3, "! Lattice Semiconductor Corp."};
  ExpectParse(path, f);
  ExpectPlayback(path, f);
}

}  // namespace
