#include "app/testing/test_package.h"

#include <filesystem>
#include <fstream>
#include <sstream>

#include "engines/file_access.h"
#include "engines/intel_hex.h"

std::string IntelHexText(uint16_t address, const std::vector<uint8_t>& data) {
  std::string text;
  for (size_t at = 0; at < data.size(); at += 16) {
    std::string hex;
    for (size_t i = at; i < data.size() && i < at + 16; ++i) hex += ByteToHex(data[i]);
    text += BuildHexRecord(0x00, static_cast<uint16_t>(address + at), hex) + "\r\n";
  }
  return text + ":00000001FF\r\n";
}

std::vector<uint8_t> PatternBytes(uint8_t seed, size_t count) {
  std::vector<uint8_t> bytes(count);
  for (size_t i = 0; i < count; ++i) bytes[i] = static_cast<uint8_t>((seed * 31 + i * 7) & 0x7F);
  return bytes;
}

std::string TTestPackage::Path(const std::string& relative) const {
  return Utf8FromPath(dir_.path() / PathFromUtf8(relative));
}

void TTestPackage::Write(const std::string& relative, const std::string& content) const {
  dir_.Write(relative, content);
}

void TTestPackage::WriteLines(const std::string& relative,
                              const std::vector<std::string>& lines) const {
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  dir_.Write(relative, text);
}

std::filesystem::path TTestPackage::FsPath(const std::string& relative) const {
  return PathFromUtf8(Path(relative));
}

std::string TTestPackage::Read(const std::string& relative) const {
  std::ifstream in(PathFromUtf8(Path(relative)), std::ios::binary);
  if (!in) return "<missing>";
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

bool TTestPackage::Exists(const std::string& relative) const {
  std::error_code ec;
  return std::filesystem::exists(PathFromUtf8(Path(relative)), ec);
}

TPackageImage TTestPackage::WriteImage(const std::string& relative, uint16_t address,
                                       std::vector<uint8_t> data) {
  TPackageImage image{relative, address, std::move(data)};
  Write(relative, IntelHexText(address, image.Data));
  return image;
}

namespace {
// Plays a value into the 32-bit user register of the code-8/9 devices.
const char* const kEffectFile =
    "// test vectors\r\n"
    "STATE RESET IDLE;\r\n"
    "SIR 8 TDI (02);\r\n"
    "SDR 32 TDI (12345678);\r\n"
    "STATE IDLE;\r\n";
}  // namespace

void TTestPackage::WriteStandard(const std::string& rev) {
  const std::string r = rev + "/";
  BridgeBoot = WriteImage(r + "BOOT_EXT_PONT.HEX", 0x4000, PatternBytes(1, 40));
  NormalBoot = WriteImage(r + "BOOT_EXT_OPTION.HEX", 0x4100, PatternBytes(2, 36));
  MainBank0 = WriteImage(r + "VI3/vi3_b0.hex", 0x0100, PatternBytes(3, 48));
  MainUpperBank = WriteImage(r + "VI3/vi3_hi.hex", 0x8000, PatternBytes(8, 16));
  KeyboardBank1 = WriteImage(r + "KEYB3/keyb_b1.hex", 0x8000, PatternBytes(4, 20));
  ScanBank2 = WriteImage(r + "SCAN/scan_b2.hex", 0x9000, PatternBytes(5, 24));
  HdBank0 = WriteImage(r + "HD/hd_b0.hex", 0x0000, PatternBytes(6, 16));
  ExtInE = WriteImage(r + "OPT_IN/edid.hex", 0x0000, PatternBytes(7, 32));
  Write(r + "VI3/opt_in/vi3_8.svf", kEffectFile);
  Write(r + "VI3/vi3_8.svf", kEffectFile);
  Write(r + "HD/hd_9.svf", kEffectFile);
  WriteLines(r + "script.ini", {"rem standard package", "CM", "C0", "C1", "C3", "C5", ""});
  WriteLines(r + "VI3/script.ini",
             {"T0 0102", "P0 vi3_b0.hex", "V0 0102", "P8 opt_in\\vi3_8.svf", "rem main card"});
  WriteLines(r + "KEYB3/script.ini", {"Q0", "T1 0102", "P1 keyb_b1.hex", "V1 0102", "Z0"});
  WriteLines(r + "SCAN/script.ini", {"Q1", "P2 scan_b2.hex", "D2", "Z1"});
  WriteLines(r + "HD/script.ini", {"Q3", "P0 hd_b0.hex", "P9 hd_9.svf", "Z3"});
  WriteLines(r + "OPT_IN/script.ini", {"Q5", "PE edid.hex", "Z5"});
}
