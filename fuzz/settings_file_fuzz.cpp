// Fuzzes the settings file "Updater.prm" (app/settings_file.h) with arbitrary file
// bytes, through the window's own cycle: load, read the connection, save it as the
// window holds it (or as the operator changed it), load again. Invariants: the
// file's lines survive the save; what is read back is what was saved; a second
// save writes the same bytes.
#include <fuzzer/FuzzedDataProvider.h>

#include <fstream>
#include <sstream>
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

std::string FileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  const bool changed = in.ConsumeBool();
  const TConnectionSettings chosen = ChosenByTheOperator(in);
  const TTempDir& folder = FuzzFolder();
  const std::string loaded = folder.File("loaded.prm"), saved = folder.File("saved.prm");
  folder.Write("loaded.prm", in.ConsumeRemainingBytesAsString());

  std::vector<std::string> lines;
  FUZZ_REQUIRE(LoadTextLines(loaded, lines), "any file's bytes load");
  const size_t count = lines.size();
  const TConnectionSettings held =
      changed ? chosen : AsTheWindowHoldsIt(ReadConnectionSettings(lines));
  for (int n = 1; n <= 9; ++n) ComDeviceSetting(lines, n);

  WriteConnectionSettings(lines, held);
  FUZZ_REQUIRE(lines.size() <= count + 5, "a save adds at most the five keys");
  FUZZ_REQUIRE(SaveTextLines(saved, lines), "the settings save");
  const std::string first = FileBytes(saved);
  std::vector<std::string> again;
  FUZZ_REQUIRE(LoadTextLines(saved, again), "the saved file loads");
  FUZZ_REQUIRE(again == lines, "every line survives the save");
  FUZZ_REQUIRE(Same(AsTheWindowHoldsIt(ReadConnectionSettings(again)), held),
               "what is read back is what was saved");

  WriteConnectionSettings(again, held);
  FUZZ_REQUIRE(again == lines, "saving what was read back changes no line");
  FUZZ_REQUIRE(SaveTextLines(saved, again) && FileBytes(saved) == first,
               "a second save writes the same bytes");
  return 0;
}
