#include "emulator/state_check.h"

#include <fstream>

#include "emulator/hex_record.h"
#include "emulator/host_path.h"

namespace {

constexpr uint8_t kData = 0x00, kEnd = 0x01;

// The card slot TEmulatedDevice takes for a selector's card (6 is the main card).
int CardSlot(const TMemSelector& memory) {
  return memory.Card == 6 ? TEmulatedDevice::kMainCardSlot : memory.Card;
}

// Where the memory lies in the 16-bit address space, and how it is written.
struct TWindow {
  const std::vector<uint8_t>* Bytes = nullptr;
  size_t Base = 0;
  bool Flash = true;
};

TWindow WindowOf(const TEmulatedDevice& device, const TMemSelector& memory) {
  switch (memory.Kind) {
    case TMemKind::MK_BOOT:
      return {&device.BootArea(), TEmulatedDevice::kBootBase, true};
    case TMemKind::MK_BANK:
      return {&device.BankMemory(CardSlot(memory), memory.Index),
              memory.Index == 0 ? 0 : TEmulatedDevice::kBankSize, true};
    case TMemKind::MK_EMEM:
      return {&device.EMemory(CardSlot(memory)), 0, false};
    default:
      return {};
  }
}

bool ReadLines(const std::string& path, std::vector<std::string>& lines) {
  std::ifstream in(HostPath(path), std::ios::binary);
  if (!in) return false;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return !in.bad();
}

std::string Hex16(size_t value) {
  return DeviceHexByte(static_cast<uint8_t>(value >> 8)) +
         DeviceHexByte(static_cast<uint8_t>(value & 0xFF));
}

TStateCheck CheckVersion(const TEmulatedDevice& device, const TStateExpectation& e) {
  static constexpr char kCodes[] = "0123456789ACE";
  const std::string held =
      device.Version(CardSlot(e.Memory), kCodes[static_cast<size_t>(e.Memory.Index)]);
  if (held == e.Value) return {true, true, e.Name + " is " + held};
  return {false, true, e.Name + " is " + held + ", not " + e.Value};
}

}  // namespace

bool ParseStateExpectation(const std::string& text, TStateExpectation& out, std::string& error) {
  const size_t eq = text.find('=');
  if (eq == std::string::npos || eq + 1 == text.size()) {
    return error = "\"" + text + "\" is not MEMORY=VALUE", false;
  }
  TStateExpectation parsed;
  parsed.Name = text.substr(0, eq);
  parsed.Value = text.substr(eq + 1);
  TMemSelector& m = parsed.Memory;
  const bool known = ParseMemSelector(parsed.Name, m);
  const bool whole =
      m.Kind == TMemKind::MK_BOOT || (m.Card >= 0 && (m.Kind == TMemKind::MK_EMEM || m.Index >= 0));
  if (!known || m.Kind == TMemKind::MK_JTAG || !whole) {
    return error = "\"" + parsed.Name +
                   "\" names no single memory (boot, CARD.bankB, CARD.e or CARD.versionC)",
           false;
  }
  if (m.Kind == TMemKind::MK_VERSION && parsed.Value.size() != 4) {
    return error = "a version has four characters: \"" + parsed.Value + "\"", false;
  }
  out = std::move(parsed);
  return true;
}

bool ImageFromHexLines(const std::vector<std::string>& lines, size_t base, size_t size, bool flash,
                       std::vector<uint8_t>& image, std::string& error) {
  image.assign(size, 0xFF);
  for (size_t n = 0; n < lines.size(); ++n) {
    const std::string where = "line " + std::to_string(n + 1) + ": ";
    if (lines[n].empty()) continue;
    TDeviceRecord record;
    if (ParseRecordLine(lines[n], record) != TRecordVerdict::RV_OK) {
      return error = where + "not a record with a right checksum", false;
    }
    if (record.Type == kEnd) break;
    if (record.Type >= 0x02 && record.Type <= 0x05) continue;
    if (record.Type != kData) return error = where + "record type the memory refuses", false;
    const size_t begin = record.Address;
    if (begin < base || begin + record.Data.size() > base + size) {
      return error = where + "data outside the memory", false;
    }
    for (size_t i = 0; i < record.Data.size(); ++i) {
      uint8_t& cell = image[begin - base + i];
      cell = flash ? static_cast<uint8_t>(cell & record.Data[i]) : record.Data[i];
    }
  }
  return true;
}

TStateCheck CheckStateExpectation(const TEmulatedDevice& device, const TStateExpectation& e) {
  if (e.Memory.Kind == TMemKind::MK_VERSION) return CheckVersion(device, e);
  const TWindow window = WindowOf(device, e.Memory);
  std::vector<std::string> lines;
  if (window.Bytes == nullptr || !ReadLines(e.Value, lines)) {
    return {false, false, e.Name + ": cannot read " + e.Value};
  }
  std::vector<uint8_t> image;
  std::string why;
  if (!ImageFromHexLines(lines, window.Base, window.Bytes->size(), window.Flash, image, why)) {
    return {false, false, e.Name + ": " + e.Value + " " + why};
  }
  size_t differ = 0, first = 0;
  for (size_t i = image.size(); i-- > 0;) {
    if ((*window.Bytes)[i] != image[i]) ++differ, first = i;
  }
  if (differ == 0) return {true, true, e.Name + " matches " + e.Value};
  return {false, true,
          e.Name + " differs from " + e.Value + ": " + std::to_string(differ) +
              (differ == 1 ? " byte" : " bytes") + ", the first at " + Hex16(window.Base + first) +
              " (device " + DeviceHexByte((*window.Bytes)[first]) + ", image " +
              DeviceHexByte(image[first]) + ")"};
}
