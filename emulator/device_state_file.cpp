// The device state as text, so the emulator remembers between runs what was
// written into it. One item per line, "#" starts a comment:
//   qelt-emulator-state 1                 first line, always
//   boot-id 01A7 / boot-checksum 6A5C / boot-extra 0201
//   card N present|absent                 N = 0..5
//   version CARD CODE TEXT                CARD = main or 0..5, TEXT four characters
//   mcu CARD BANK ID                      ID two characters
//   chain CARD CODE IR:IDCODE:IDINSTR:USERINSTR:USERLEN ...   one field per device
//   mem MEMORY OFFSET HEX                 MEMORY = boot | CARD.bankB | CARD.e;
//                                         rows of erased (FF) bytes are not written
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string_view>
#include <utility>

#include "emulator/emulated_device.h"
#include "emulator/hex_record.h"
#include "emulator/host_path.h"

namespace {

constexpr const char* kHeader = "qelt-emulator-state 1";
constexpr size_t kRow = 32;

std::string CardName(size_t index) { return index == 6 ? "main" : std::to_string(index); }

int ParseCard(const std::string& text) {
  if (text == "main") return 6;
  if (text.size() == 1 && text[0] >= '0' && text[0] <= '5') return text[0] - '0';
  return -1;
}

bool ParseHexValue(const std::string& text, size_t max_digits, uint32_t& out) {
  if (text.empty() || text.size() > max_digits) return false;
  out = 0;
  for (char c : text) {
    const int v = DeviceHexValue(c);
    if (v < 0) return false;
    out = out * 16 + static_cast<uint32_t>(v);
  }
  return true;
}

bool ParseHexData(const std::string& text, std::vector<uint8_t>& out) {
  if (text.size() % 2 != 0) return false;
  out.clear();
  for (size_t i = 0; i < text.size(); i += 2) {
    const int hi = DeviceHexValue(text[i]);
    const int lo = DeviceHexValue(text[i + 1]);
    if (hi < 0 || lo < 0) return false;
    out.push_back(static_cast<uint8_t>(hi * 16 + lo));
  }
  return true;
}

// The words of `line`, split at blanks and other white space as a stream reads
// them, without building a stream per line (a state file has some 200 lines).
std::vector<std::string> Words(std::string_view line) {
  constexpr std::string_view kSpace = " \t\n\v\f\r";
  std::vector<std::string> words;
  words.reserve(8);  // a chain line of a long chain may hold more
  for (size_t pos = line.find_first_not_of(kSpace); pos != std::string_view::npos;) {
    const size_t end = std::min(line.find_first_of(kSpace, pos), line.size());
    words.emplace_back(line.substr(pos, end - pos));
    pos = line.find_first_not_of(kSpace, end);
  }
  return words;
}

// The text after the first `count` words of `line` and the one blank after them
// (a version may hold blanks of its own).
std::string RestAfterWords(const std::string& line, int count) {
  size_t pos = 0;
  for (int i = 0; i < count; ++i) {
    pos = line.find_first_not_of(" \t", pos);
    pos = pos == std::string::npos ? line.size() : line.find_first_of(" \t", pos);
    if (pos == std::string::npos) return {};
  }
  return pos < line.size() ? line.substr(pos + 1) : std::string();
}

std::string ChainField(const TJtagDevice& d) {
  std::ostringstream s;
  s << std::uppercase << std::hex << d.IrLength << ':' << d.IdCode << ':' << d.IdCodeInstruction
    << ':' << d.UserInstruction << ':' << d.UserLength;
  return s.str();
}

bool ParseChainField(const std::string& text, TJtagDevice& d) {
  std::vector<std::string> parts;
  std::stringstream s(text);
  for (std::string part; std::getline(s, part, ':');) parts.push_back(part);
  uint32_t v[5];
  if (parts.size() != 5) return false;
  for (size_t i = 0; i < 5; ++i) {
    if (!ParseHexValue(parts[i], 8, v[i])) return false;
  }
  if (v[0] < 2 || v[0] > 32 || v[4] > 512 || (v[1] & 1) == 0) return false;
  d.IrLength = static_cast<int>(v[0]);
  d.IdCode = v[1];
  d.IdCodeInstruction = v[2];
  d.UserInstruction = v[3];
  d.UserLength = static_cast<int>(v[4]);
  return true;
}

void SaveMemory(std::ostream& out, const std::string& name, const std::vector<uint8_t>& memory) {
  // A device has 1.8 MiB of memory, mostly erased: a memory, then a row, is
  // compared with erased bytes in one go.
  static const std::vector<uint8_t> kErased(TEmulatedDevice::kBankSize, 0xFF);
  if (memory.size() <= kErased.size() &&
      std::equal(memory.begin(), memory.end(), kErased.begin())) {
    return;
  }
  for (size_t offset = 0; offset < memory.size(); offset += kRow) {
    const auto begin = memory.begin() + static_cast<std::ptrdiff_t>(offset);
    const auto end = begin + static_cast<std::ptrdiff_t>(std::min(kRow, memory.size() - offset));
    if (std::equal(begin, end, kErased.begin())) continue;
    out << "mem " << name << ' ' << DeviceHexByte(static_cast<uint8_t>(offset >> 8))
        << DeviceHexByte(static_cast<uint8_t>(offset & 0xFF)) << ' ' << DeviceHexText({begin, end})
        << '\n';
  }
}

}  // namespace

std::string TEmulatedDevice::SaveStateText() const {
  static const std::string kChainCodes = "89AC";
  std::ostringstream out;
  out << kHeader << '\n';
  out << "boot-id " << DeviceHexByte(config_.BootId >> 8) << DeviceHexByte(config_.BootId & 0xFF)
      << '\n';
  out << "boot-checksum " << DeviceHexByte(config_.BootChecksum >> 8)
      << DeviceHexByte(config_.BootChecksum & 0xFF) << '\n';
  out << "boot-extra " << config_.BootExtra << '\n';
  for (size_t i = 0; i < 6; ++i) {
    out << "card " << i << (cards_[i].present ? " present" : " absent") << '\n';
  }
  for (size_t i = 0; i < 7; ++i) {
    const TCard& card = cards_[i];
    for (size_t v = 0; v < 13; ++v) {
      out << "version " << CardName(i) << ' ' << "0123456789ACE"[v] << ' ' << card.versions[v]
          << '\n';
    }
    for (size_t b = 0; b < 8; ++b)
      out << "mcu " << CardName(i) << ' ' << b << ' ' << card.mcu_ids[b] << '\n';
    for (size_t c = 0; c < 4; ++c) {
      out << "chain " << CardName(i) << ' ' << kChainCodes[c];
      for (const TJtagDevice& d : card.chains[c].Devices()) out << ' ' << ChainField(d);
      out << '\n';
    }
  }
  SaveMemory(out, "boot", boot_area_);
  for (size_t i = 0; i < 7; ++i) {
    for (size_t b = 0; b < 8; ++b)
      SaveMemory(out, CardName(i) + ".bank" + std::to_string(b), cards_[i].banks[b]);
    SaveMemory(out, CardName(i) + ".e", cards_[i].e_memory);
  }
  return out.str();
}

bool TEmulatedDevice::ApplyMemLine(const std::vector<std::string>& words,
                                   std::vector<TMemWrite>& writes, std::string& error) {
  if (words.size() != 4) return error = "expected: mem MEMORY OFFSET HEX", false;
  TMemWrite write;
  size_t size = 0;
  const std::string& name = words[1];
  const size_t dot = name.find('.');
  if (name == "boot") {
    size = kBootSize;
  } else if (dot != std::string::npos && ParseCard(name.substr(0, dot)) >= 0) {
    write.card = ParseCard(name.substr(0, dot));
    const std::string part = name.substr(dot + 1);
    if (part == "e") {
      write.bank = 8;
      size = kEMemorySize;
    }
    if (part.size() == 5 && part.compare(0, 4, "bank") == 0 && part[4] >= '0' && part[4] <= '7') {
      write.bank = part[4] - '0';
      size = kBankSize;
    }
  }
  if (size == 0) return error = "unknown memory \"" + name + "\"", false;
  uint32_t offset = 0;
  if (!ParseHexValue(words[2], 4, offset) || !ParseHexData(words[3], write.data)) {
    return error = "bad offset or hex data", false;
  }
  if (offset + write.data.size() > size) return error = "data beyond the end of " + name, false;
  write.offset = offset;
  writes.push_back(std::move(write));
  return true;
}

bool TEmulatedDevice::ApplyCardLine(const std::vector<std::string>& w, const std::string& line,
                                    TCard& card, std::string& error) {
  const std::string& key = w[0];
  const char code = w[2][0];
  if (key == "version" && ComponentCodeIndex(code) >= 0) {
    const std::string text = RestAfterWords(line, 3);
    if (text.size() != 4) return error = "a version has four characters", false;
    card.versions[static_cast<size_t>(ComponentCodeIndex(code))] = text;
    return true;
  }
  if (key == "mcu" && code >= '0' && code <= '7' && w.size() == 4 && w[3].size() == 2) {
    card.mcu_ids[static_cast<size_t>(code - '0')] = w[3];
    return true;
  }
  const size_t chain = std::string_view("89AC").find(code);
  if (key == "chain" && chain != std::string_view::npos) {
    std::vector<TJtagDevice> devices;
    for (size_t i = 3; i < w.size(); ++i) {
      TJtagDevice d;
      if (!ParseChainField(w[i], d)) return error = "bad JTAG device \"" + w[i] + "\"", false;
      devices.push_back(d);
    }
    card.chains[chain] = TJtagChain(devices);
    return true;
  }
  return error = "unknown or malformed line", false;
}

bool TEmulatedDevice::ApplyStateLine(const std::string& line, TDeviceConfig& config, TCards& cards,
                                     std::vector<TMemWrite>& writes, std::string& error) {
  const std::vector<std::string> w = Words(line);
  if (w.empty() || w[0][0] == '#') return true;
  const std::string& key = w[0];
  uint32_t value = 0;
  if ((key == "boot-id" || key == "boot-checksum") && w.size() == 2 &&
      ParseHexValue(w[1], 4, value)) {
    (key == "boot-id" ? config.BootId : config.BootChecksum) = static_cast<uint16_t>(value);
    return true;
  }
  if (key == "boot-extra" && w.size() == 2 && w[1].size() == 4) {
    config.BootExtra = w[1];
    return true;
  }
  if (key == "card" && w.size() == 3 && ParseCard(w[1]) >= 0 && ParseCard(w[1]) < 6 &&
      (w[2] == "present" || w[2] == "absent")) {
    cards[static_cast<size_t>(ParseCard(w[1]))].present = w[2] == "present";
    return true;
  }
  if (key == "mem") return ApplyMemLine(w, writes, error);
  const int card = w.size() >= 3 ? ParseCard(w[1]) : -1;
  if (card < 0 || w[2].size() != 1) return error = "unknown or malformed line", false;
  return ApplyCardLine(w, line, cards[static_cast<size_t>(card)], error);
}

bool TEmulatedDevice::LoadStateText(const std::string& text, std::string* error) {
  TDeviceConfig config = config_;
  // Everything but the memories is built aside; the memories' lines are kept as
  // writes. Only once every line passed is the device's memory erased in place and
  // written: a load allocates no second 1.8 MiB of memory.
  TCards cards = MakeCards(config_);
  std::vector<TMemWrite> writes;
  std::string line;
  int number = 0;
  std::string why;
  for (size_t pos = 0; pos < text.size();) {  // lines end at LF; a last one may not
    const size_t end = std::min(text.find('\n', pos), text.size());
    line.assign(text, pos, end - pos);
    pos = end + 1;
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const bool ok =
        number == 1 ? line == kHeader : ApplyStateLine(line, config, cards, writes, why);
    if (!ok) {
      if (number == 1) why = std::string("not a device state file (expected \"") + kHeader + "\")";
      if (error != nullptr) *error = "line " + std::to_string(number) + ": " + why;
      return false;
    }
  }
  if (number == 0) {
    if (error != nullptr) *error = "line 1: the file is empty";
    return false;
  }
  config_ = config;
  for (size_t i = 0; i < cards_.size(); ++i) {  // the memories move over, not copied
    std::swap(cards[i].banks, cards_[i].banks);
    std::swap(cards[i].e_memory, cards_[i].e_memory);
  }
  cards_ = std::move(cards);
  EraseMemories();
  for (const TMemWrite& write : writes) {
    std::copy(write.data.begin(), write.data.end(),
              MemoryOf(write).begin() + static_cast<std::ptrdiff_t>(write.offset));
  }
  CloseTarget();
  return true;
}

bool TEmulatedDevice::SaveState(const std::string& path, std::string* error) const {
  const std::string temp = path + ".tmp";
  {
    errno = 0;
    std::ofstream out(HostPath(temp), std::ios::binary | std::ios::trunc);
    out << SaveStateText();
    out.close();
    if (!out) {
      if (error != nullptr) *error = "cannot write " + temp + ": " + std::strerror(errno);
      return false;
    }
  }
  std::error_code ec;
  std::filesystem::rename(HostPath(temp), HostPath(path), ec);
  if (ec) {
    std::error_code ignored;
    std::filesystem::remove(HostPath(temp), ignored);
    if (error != nullptr) *error = "cannot replace " + path + ": " + ec.message();
    return false;
  }
  return true;
}

bool TEmulatedDevice::LoadState(const std::string& path, std::string* error) {
  errno = 0;
  std::ifstream in(HostPath(path), std::ios::binary);
  if (!in) {
    if (error != nullptr) *error = "cannot read " + path + ": " + std::strerror(errno);
    return false;
  }
  std::ostringstream text;
  text << in.rdbuf();
  if (in.bad()) {
    if (error != nullptr) *error = "cannot read " + path;
    return false;
  }
  std::string why;
  if (!LoadStateText(text.str(), &why)) {
    if (error != nullptr) *error = path + ": " + why;
    return false;
  }
  return true;
}
