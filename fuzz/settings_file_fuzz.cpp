// Fuzzes the settings file "Updater.prm" (app/settings_file.h) with arbitrary file
// bytes, through the window's own cycle: load, read the connection, save it as the
// window holds it (or as the operator changed it), load again. Invariants: the
// file's lines survive the save; what is read back is what was saved; a second
// save writes the same bytes. The file stays in memory: LoadTextLines and
// SaveTextLines are SplitTextLines and JoinTextLines around the file's bytes, which
// the harness uses directly (a file per input cost four fifths of the time).
#include <fuzzer/FuzzedDataProvider.h>

#include <string>
#include <vector>

#include "app/ip_config_dlg.h"
#include "app/settings_file.h"
#include "engines/file_access.h"
#include "fuzz/fuzz_support.h"

namespace {

// The connection as the window holds it after loading `s`: a serial port unless
// the file chose UDP or TCP; the port number only matters for a serial port.
TConnectionSettings AsTheWindowHoldsIt(TConnectionSettings s) {
  if (s.ConType != 2 && s.ConType != 3) s.ConType = 1;
  if (s.ConType != 1) s.ComIndex = 0;
  return s;
}

// A connection the operator may choose in the port menu and the LAN dialog.
TConnectionSettings ChosenByTheOperator(FuzzedDataProvider& in) {
  TConnectionSettings s;
  s.ConType = in.ConsumeIntegralInRange<uint8_t>(1, 3);
  s.ComIndex = in.ConsumeIntegralInRange(0, 8);
  s.RemotePort = in.ConsumeIntegralInRange<uint32_t>(0, 65535);
  s.LocalPort = in.ConsumeIntegralInRange<uint32_t>(0, 65535);
  s.RemoteIp = in.ConsumeRandomLengthString(20);
  if (!TIPConfigDlg::IsValidAddress(s.RemoteIp)) {  // the dialog takes only these
    s.RemoteIp.clear();
    for (int i = 0; i < 4; ++i) {
      s.RemoteIp += (i ? "." : "") + std::to_string(in.ConsumeIntegral<uint8_t>());
    }
  }
  return AsTheWindowHoldsIt(s);
}

bool Same(const TConnectionSettings& a, const TConnectionSettings& b) {
  return a.ConType == b.ConType && a.ComIndex == b.ComIndex && a.RemoteIp == b.RemoteIp &&
         a.RemotePort == b.RemotePort && a.LocalPort == b.LocalPort;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  const bool changed = in.ConsumeBool();
  const TConnectionSettings chosen = ChosenByTheOperator(in);
  std::vector<std::string> lines = SplitTextLines(in.ConsumeRemainingBytesAsString());
  const size_t count = lines.size();
  const TConnectionSettings held =
      changed ? chosen : AsTheWindowHoldsIt(ReadConnectionSettings(lines));
  for (int n = 1; n <= 9; ++n) ComDeviceSetting(lines, n);

  WriteConnectionSettings(lines, held);
  FUZZ_REQUIRE(lines.size() <= count + 5, "a save adds at most the five keys");
  const std::string first = JoinTextLines(lines);
  std::vector<std::string> again = SplitTextLines(first);
  FUZZ_REQUIRE(again == lines, "every line survives the save");
  FUZZ_REQUIRE(Same(AsTheWindowHoldsIt(ReadConnectionSettings(again)), held),
               "what is read back is what was saved");

  WriteConnectionSettings(again, held);
  FUZZ_REQUIRE(again == lines, "saving what was read back changes no line");
  FUZZ_REQUIRE(JoinTextLines(again) == first, "a second save writes the same bytes");
  return 0;
}
