#include "emulator/emulated_device.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

namespace {

constexpr size_t kMaxQueuedOutput = 1 << 20;  // like a full transmit buffer: drop beyond
// Noise a disturbed line produces: never a reply character, a digit, a letter,
// CR, LF or a zero byte, so it cannot be mistaken for an answer.
constexpr std::string_view kNoise = "!\"&'()*+,-/;<=>?@[]^_`{|}~\xA5\xB0\xC3\xD7\xE9\xF1";

TJtagDevice Device(int ir, uint32_t idcode, uint32_t id_instr, uint32_t user_instr, int user_len) {
  TJtagDevice d;
  d.IrLength = ir;
  d.IdCode = idcode;
  d.IdCodeInstruction = id_instr;
  d.UserInstruction = user_instr;
  d.UserLength = user_len;
  return d;
}

int ChainIndex(char code) {
  const int index = JtagChainIndex(code);
  if (index < 0) throw std::out_of_range(std::string("no JTAG chain for code ") + code);
  return index;
}

}  // namespace

std::array<std::vector<TJtagDevice>, 4> DefaultJtagChains() {
  return {{
      {Device(8, 0x1A5C80FF, 0x01, 0x02, 32)},
      {Device(8, 0x1A5C90FF, 0x01, 0x02, 32)},
      {Device(10, 0x2B3CA0FF, 0x006, 0x002, 64)},
      {Device(8, 0x3C4DC0FF, 0x01, 0x02, 32), Device(6, 0x3C4DD0FF, 0x09, 0, 0)},
  }};
}

int TEmulatedDevice::CardIndex(int card_slot) {
  if (card_slot == kMainCardSlot) return kMainIndex;
  if (card_slot < 0 || card_slot > 5)
    throw std::out_of_range("no card in slot " + std::to_string(card_slot));
  return card_slot;
}

int JtagChainIndex(char code) {
  switch (code) {
    case '8':
      return 0;
    case '9':
      return 1;
    case 'A':
      return 2;
    case 'C':
      return 3;
    default:
      return -1;
  }
}

TEmulatedDevice::TEmulatedDevice(TDeviceConfig config)
    : config_(std::move(config)), faults_(config_.Faults) {
  state_ = config_.Silent ? TDevState::DS_BOOT_SYNC : TDevState::DS_APP;
  cards_ = MakeCards(config_);
  EraseMemories();
}

void TEmulatedDevice::EraseMemories() {
  boot_area_.assign(kBootSize, 0xFF);
  for (TCard& card : cards_) {
    for (auto& bank : card.banks) bank.assign(kBankSize, 0xFF);
    card.e_memory.assign(kEMemorySize, 0xFF);
  }
}

std::vector<uint8_t>& TEmulatedDevice::MemoryOf(const TMemWrite& write) {
  if (write.card < 0) return boot_area_;
  TCard& card = cards_[static_cast<size_t>(write.card)];
  return write.bank == 8 ? card.e_memory : card.banks[static_cast<size_t>(write.bank)];
}

TEmulatedDevice::TCards TEmulatedDevice::MakeCards(const TDeviceConfig& config) {
  TCards cards;
  for (int i = 0; i < 7; ++i) {
    TCard& card = cards[static_cast<size_t>(i)];
    card.present = i == kMainIndex || config.CardPresent[static_cast<size_t>(i)];
    card.versions.fill(config.InitialVersion);
    for (size_t b = 0; b < 8; ++b) {
      const char first = i == kMainIndex ? 'F' : static_cast<char>('0' + i);
      card.mcu_ids[b] = {first, static_cast<char>('0' + b)};
    }
    for (size_t c = 0; c < 4; ++c) card.chains[c] = TJtagChain(config.Chains[c]);
  }
  return cards;
}

void TEmulatedDevice::Receive(std::string_view host_bytes, uint32_t now_ms) {
  SetNow(now_ms);
  Receive(host_bytes);
}

// The caller's clock is a 32-bit tick count that may wrap; the device's own time is
// 64-bit, so that a delay of up to 2^32 - 1 ms neither wraps nor ends early.
void TEmulatedDevice::SetNow(uint32_t now_ms) {
  now_ += static_cast<uint32_t>(now_ms - now_ms_);
  now_ms_ = now_ms;
}

void TEmulatedDevice::Receive(std::string_view host_bytes) {
  for (char c : host_bytes) {
    if (hung_) return;
    Feed(c);
  }
}

void TEmulatedDevice::Feed(char c) {
  switch (state_) {
    case TDevState::DS_APP:
      return FeedApp(c);
    case TDevState::DS_BOOT_SYNC:
      return FeedBootSync(c);
    case TDevState::DS_BOOT_TYPE:
      return FeedBootType(c);
    case TDevState::DS_COMMAND:
      return FeedCommand(c);
    case TDevState::DS_COMMAND_ARG:
      return FeedCommandArg(c);
    case TDevState::DS_VERSION_TEXT:
      return FeedVersionText(c);
    case TDevState::DS_UV_CODE:
      return FeedUvCode(c);
    case TDevState::DS_UV_TEXT:
      return FeedUvText(c);
    case TDevState::DS_RECORD:
      return FeedRecord(c);
    case TDevState::DS_RAW_BLOCK:
      return FeedRawBlock(c);
    case TDevState::DS_CAPTURE_ACK:
      return FeedCaptureAck(c);
  }
}

void TEmulatedDevice::Reply(std::string_view key, std::string text) {
  if (text.empty()) return;
  if (text[0] == 'R') ++stats_.ResendRequests;
  if (text[0] == 'I') ++stats_.UnknownReplies;
  if (text == "X" || text == ".X") ++stats_.Failures;
  if (faults_.FireOnCommand(TFaultKind::FK_HANG, key) != nullptr) {
    hung_ = true;
    return;
  }
  if (const TFaultRule* c = faults_.FireOnCommand(TFaultKind::FK_CHATTER, key)) {
    hung_ = true;
    chatter_rate_ = c->Bytes != 0 ? c->Bytes : 64;
    chatter_from_ = now_;
    return;
  }
  if (const TFaultRule* g = faults_.FireOnCommand(TFaultKind::FK_GARBAGE, key)) {
    text = Noise(*g) + text;
  }
  TOutChunk chunk = MakeChunk(key, std::move(text));
  size_t bytes = 0;
  for (const std::string& p : chunk.pieces) bytes += p.size();
  if (output_bytes_ + bytes > kMaxQueuedOutput) {
    stats_.DroppedOutput += static_cast<uint32_t>(bytes);
    return;
  }
  output_bytes_ += bytes;
  output_.push_back(std::move(chunk));
}

std::string TEmulatedDevice::Noise(const TFaultRule& rule) {
  return NoiseBytes(rule.Bytes != 0 ? rule.Bytes : 1 + faults_.NextRandom() % 8);
}

std::string TEmulatedDevice::Chatter() {
  const uint64_t count = (now_ - chatter_from_) * chatter_rate_ / 10;
  if (count == 0) return {};
  // Time the noise covers; beyond the cap the rest of the time is let go.
  chatter_from_ = count > kMaxChatter ? now_ : chatter_from_ + count * 10 / chatter_rate_;
  return NoiseBytes(std::min<uint64_t>(count, kMaxChatter));
}

std::string TEmulatedDevice::NoiseBytes(uint64_t count) {
  std::string noise;
  for (uint64_t i = 0; i < count; ++i) noise += kNoise[faults_.NextRandom() % kNoise.size()];
  return noise;
}

TEmulatedDevice::TOutChunk TEmulatedDevice::MakeChunk(std::string_view key, std::string text) {
  TOutChunk chunk;
  chunk.due = now_;
  if (const TFaultRule* d = faults_.FireOnCommand(TFaultKind::FK_DELAY, key)) {
    chunk.due = now_ + d->DelayMs;
    stats_.HeldBackMs += d->DelayMs;
  }
  const TFaultRule* s = faults_.FireOnCommand(TFaultKind::FK_SPLIT, key);
  if (s == nullptr || text.size() < 2) {
    chunk.pieces.push_back(std::move(text));
    return chunk;
  }
  chunk.split = true;
  for (size_t pos = 0; pos < text.size();) {
    size_t size = s->PieceSize;
    if (size == 0) size = 1 + faults_.NextRandom() % (text.size() - pos);
    chunk.pieces.push_back(text.substr(pos, size));
    pos += size;
  }
  return chunk;
}

std::vector<std::string> TEmulatedDevice::TakeOutputPieces(uint32_t now_ms) {
  SetNow(now_ms);
  std::vector<std::string> pieces;
  bool merge = false;  // the last piece may take more unsplit text
  while (!output_.empty() && output_.front().due <= now_) {
    TOutChunk chunk = std::move(output_.front());
    output_.pop_front();
    for (std::string& p : chunk.pieces) {
      output_bytes_ -= p.size();
      if (merge && !chunk.split) {
        pieces.back() += p;
      } else {
        pieces.push_back(std::move(p));
      }
    }
    merge = !chunk.split;
  }
  if (chatter_rate_ != 0) {
    std::string noise = Chatter();
    if (!noise.empty()) pieces.push_back(std::move(noise));
  }
  return pieces;
}

std::string TEmulatedDevice::TakeOutput(uint32_t now_ms) {
  std::string out;
  for (const std::string& p : TakeOutputPieces(now_ms)) out += p;
  return out;
}

std::optional<uint32_t> TEmulatedDevice::NextReleaseTime() const {
  if (chatter_rate_ != 0 && output_.empty()) return now_ms_ + 10;
  if (output_.empty()) return std::nullopt;
  return static_cast<uint32_t>(output_.front().due - now_ + now_ms_);
}

bool TEmulatedDevice::InApplicationMode() const { return state_ == TDevState::DS_APP; }

int TEmulatedDevice::BridgedCard() const { return bridge_ == kMainIndex ? kMainCardSlot : bridge_; }

TEmulatedDevice::TCard& TEmulatedDevice::CardAt(int card_slot) {
  return cards_[static_cast<size_t>(CardIndex(card_slot))];
}

const TEmulatedDevice::TCard& TEmulatedDevice::CardAt(int card_slot) const {
  return cards_[static_cast<size_t>(CardIndex(card_slot))];
}

TEmulatedDevice::TCard& TEmulatedDevice::CurrentCard() {
  return cards_[static_cast<size_t>(bridge_)];
}

int TEmulatedDevice::CurrentCardIndex() const { return bridge_; }

const std::vector<uint8_t>& TEmulatedDevice::BankMemory(int card_slot, int bank) const {
  if (bank < 0 || bank > 7) throw std::out_of_range("no bank " + std::to_string(bank));
  return CardAt(card_slot).banks[static_cast<size_t>(bank)];
}

const std::vector<uint8_t>& TEmulatedDevice::EMemory(int card_slot) const {
  return CardAt(card_slot).e_memory;
}

std::string TEmulatedDevice::Version(int card_slot, char code) const {
  const int index = ComponentCodeIndex(code);
  if (index < 0) throw std::out_of_range(std::string("no component code ") + code);
  return CardAt(card_slot).versions[static_cast<size_t>(index)];
}

void TEmulatedDevice::SetVersion(int card_slot, char code, const std::string& version) {
  const int index = ComponentCodeIndex(code);
  if (index < 0) throw std::out_of_range(std::string("no component code ") + code);
  CardAt(card_slot).versions[static_cast<size_t>(index)] = version;
}

std::string TEmulatedDevice::McuId(int card_slot, int bank) const {
  if (bank < 0 || bank > 7) throw std::out_of_range("no bank " + std::to_string(bank));
  return CardAt(card_slot).mcu_ids[static_cast<size_t>(bank)];
}

const TJtagChain& TEmulatedDevice::Chain(int card_slot, char code) const {
  return CardAt(card_slot).chains[static_cast<size_t>(ChainIndex(code))];
}

bool TEmulatedDevice::CardPresent(int card_slot) const { return CardAt(card_slot).present; }

void TEmulatedDevice::SetCardPresent(int card_slot, bool present) {
  if (card_slot == kMainCardSlot) return;  // the main card is always there
  CardAt(card_slot).present = present;
}
