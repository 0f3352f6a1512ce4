// The boot loader's synchronisation and identification, and the updater's command
// interpreter: commands are one or two characters without terminator ("PB", "T8",
// "M3"...), some followed by a version text; ":" starts a record line (see
// device_records.cpp). What the device does not know it answers with "I".
#include <cctype>
#include <string>

#include "emulator/emulated_device.h"

namespace {

constexpr size_t kVersionLength = 4;

bool IsBankDigit(char c) { return c >= '0' && c <= '7'; }
bool IsCardDigit(char c) { return c >= '0' && c <= '5'; }
bool IsChainCode(char c) { return JtagChainIndex(c) >= 0; }
bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsVersionChar(char c) { return c >= ' ' && c <= '~' && c != '.'; }

std::string Word(uint16_t value) { return DeviceHexByte(value >> 8) + DeviceHexByte(value & 0xFF); }

// Letters that begin a two-character command.
bool IsCommandLetter(char c) {
  return std::string_view("PDFRNVUTQZML").find(c) != std::string_view::npos;
}

// The two-character commands the updater knows.
bool IsKnownCommand(const std::string& key) {
  const char arg = key[1];
  switch (key[0]) {
    case 'P':
      return arg == 'B' || arg == 'E' || IsBankDigit(arg) || IsChainCode(arg);
    case 'D':
      return IsBankDigit(arg) || IsChainCode(arg);
    case 'F':
      return arg == 'I' || arg == 'Y' || arg == 'U' || IsBankDigit(arg) || IsChainCode(arg);
    case 'R':
      return arg == 'S';
    case 'N':
      return arg == 'P';
    case 'V':
    case 'T':
      return ComponentCodeIndex(arg) >= 0;
    case 'U':
      return arg == 'V';
    case 'Q':
    case 'Z':
    case 'M':
      return IsCardDigit(arg);
    case 'L':
      return arg == '0';
    default:
      return false;
  }
}

// Commands that go to the card behind the bridge (the main card when none is open).
bool IsCardCommand(const std::string& key) {
  switch (key[0]) {
    case 'P':
      return key[1] != 'B';
    case 'F':
      return IsBankDigit(key[1]) || IsChainCode(key[1]);
    case 'D':
    case 'V':
    case 'T':
    case 'U':
      return true;
    default:
      return false;
  }
}

}  // namespace

void TEmulatedDevice::FeedBootSync(char c) {
  if (c != '%') return;  // the boot loader listens for nothing else
  Reply("%", ".");
  type_text_.clear();
  state_ = TDevState::DS_BOOT_TYPE;
}

void TEmulatedDevice::FeedBootType(char c) {
  if (c == '%') return FeedBootSync(c);  // still synchronising: "." again
  if (static_cast<unsigned char>(c) <= ' ') return;
  type_text_ += c;
  if (type_text_.size() < 2) return;
  const std::string key = type_text_;
  type_text_.clear();
  if (faults_.FireOnCommand(TFaultKind::FK_UNKNOWN, key) != nullptr) return Refuse(key);
  const bool accepted = config_.BootType != 0 && key == std::to_string(config_.BootType);
  if (!accepted) return Reply(key, "X");
  std::string id = Word(config_.BootChecksum) + Word(config_.BootId);
  if (config_.BootType == 27) id += config_.BootExtra.substr(0, 4);
  Reply(key, "." + id + ".");
  state_ = TDevState::DS_COMMAND;
}

void TEmulatedDevice::FeedCommand(char c) {
  if (c == ':') {
    text_ = ":";
    line_overflow_ = false;
    state_ = TDevState::DS_RECORD;
  } else if (c == '%') {
    FeedBootSync(c);  // the host synchronises again
  } else if (IsCommandLetter(c)) {
    pending_ = c;
    state_ = TDevState::DS_COMMAND_ARG;
  } else if (static_cast<unsigned char>(c) > ' ' && static_cast<unsigned char>(c) < 0x7F) {
    Refuse(std::string(1, c));
  }  // blanks, line ends and other control or binary bytes are ignored
}

void TEmulatedDevice::FeedCommandArg(char c) {
  state_ = TDevState::DS_COMMAND;
  if (c == ':' || c == '%') {
    // A record or a synchronisation cuts an incomplete command short.
    Refuse(std::string(1, pending_));
    return FeedCommand(c);
  }
  Execute(std::string{pending_, c});
}

void TEmulatedDevice::Execute(const std::string& key) {
  if (!IsKnownCommand(key) || faults_.FireOnCommand(TFaultKind::FK_UNKNOWN, key) != nullptr) {
    return Refuse(key);
  }
  // Behind a bridge to an empty slot nothing knows the command.
  if (IsCardCommand(key) && !cards_[static_cast<size_t>(bridge_)].present) return Refuse(key);
  switch (key[0]) {
    case 'P':
      return ExecuteProgram(key);
    case 'D':
    case 'T':
      return ExecuteRead(key);
    case 'F':
      return ExecuteFinish(key);
    default:
      return ExecuteSupervisor(key);
  }
}

void TEmulatedDevice::ExecuteProgram(const std::string& key) {
  const char arg = key[1];
  CloseTarget();
  target_card_ = CurrentCardIndex();
  if (arg == 'E') {
    target_ = TTarget::TG_EMEM;
    return Reply(key, ".");
  }
  if (IsChainCode(arg)) {
    target_ = TTarget::TG_JTAG;
    target_index_ = JtagChainIndex(arg);
    session_.emplace(CurrentCard().chains[static_cast<size_t>(target_index_)]);
    ++stats_.EffectPlays;
    return Reply(key, ".");
  }
  // "PB" and "P" + bank erase first: "." for the command, then "." or "X".
  target_ = arg == 'B' ? TTarget::TG_BOOT : TTarget::TG_BANK;
  target_index_ = arg == 'B' ? 0 : arg - '0';
  if (faults_.FireOnMemory(TFaultKind::FK_ERASE_FAIL, TargetRef())) {
    CloseTarget();
    return Reply(key, ".X");
  }
  if (target_ == TTarget::TG_BOOT) {
    boot_area_.assign(kBootSize, 0xFF);
  } else {
    CurrentCard().banks[static_cast<size_t>(target_index_)].assign(kBankSize, 0xFF);
  }
  Reply(key, "..");
}

void TEmulatedDevice::ExecuteRead(const std::string& key) {
  const char arg = key[1];
  TCard& card = CurrentCard();
  if (key[0] == 'D' && IsBankDigit(arg)) {
    return Reply(key, "." + card.mcu_ids[static_cast<size_t>(arg - '0')] + ".");
  }
  if (key[0] == 'D') {
    TJtagChain& chain = card.chains[static_cast<size_t>(JtagChainIndex(arg))];
    return Reply(key, "." + ReadChainIdentifiers(chain) + ".");
  }
  const int index = ComponentCodeIndex(arg);
  const TMemRef ref{TMemKind::MK_VERSION, CurrentCardIndex(), index};
  if (faults_.FireOnMemory(TFaultKind::FK_READ_FAIL, ref)) return Reply(key, ".X");
  Reply(key, "." + card.versions[static_cast<size_t>(index)] + ".");
}

void TEmulatedDevice::ExecuteFinish(const std::string& key) {
  const char arg = key[1];
  if (arg == 'I') {
    Reply(key, ".");
    return EndUpdateSession();
  }
  if (IsBankDigit(arg) && target_ == TTarget::TG_BANK && target_index_ == arg - '0') {
    CloseTarget();
  }
  if (IsChainCode(arg)) {
    if (target_ == TTarget::TG_JTAG && target_index_ == JtagChainIndex(arg)) CloseTarget();
    CurrentCard().chains[static_cast<size_t>(JtagChainIndex(arg))].Reset();
  }
  Reply(key, ".");  // "FY", "FU" and closing a bank have no further effect here
}

void TEmulatedDevice::ExecuteSupervisor(const std::string& key) {
  const char arg = key[1];
  const int card = arg - '0';
  switch (key[0]) {
    case 'R':  // reset: bridge and any transfer closed, chains back in reset
      CloseTarget();
      bridge_ = kMainIndex;
      for (TCard& c : cards_) {
        for (TJtagChain& chain : c.chains) chain.Reset();
      }
      return Reply(key, ".");
    case 'V':
      version_code_ = arg;
      version_key_ = key;
      text_.clear();
      state_ = TDevState::DS_VERSION_TEXT;
      return Reply(key, ".");
    case 'U':
      version_key_ = key;
      text_.clear();
      state_ = TDevState::DS_UV_CODE;
      return Reply(key, ".");
    case 'Q':  // the bridge opens to the slot, whether a card sits in it or not
      bridge_ = card;
      return Reply(key, ".");
    case 'Z':
      if (bridge_ == card) bridge_ = kMainIndex;
      return Reply(key, ".");
    case 'M':
      return Reply(key, cards_[static_cast<size_t>(card)].present ? "." : "X");
    default:  // "NP", "L0"
      return Reply(key, ".");
  }
}

void TEmulatedDevice::FeedVersionText(char c) {
  text_ += c;
  if (text_.size() == kVersionLength) StoreVersion();
}

void TEmulatedDevice::FeedUvCode(char c) {
  if (IsBlank(c)) return;
  if (ComponentCodeIndex(c) < 0) {
    state_ = TDevState::DS_COMMAND;
    return Reply(version_key_, "X");
  }
  version_code_ = c;
  state_ = TDevState::DS_UV_TEXT;
}

void TEmulatedDevice::FeedUvText(char c) {
  if (text_.empty() && IsBlank(c)) return;
  FeedVersionText(c);
}

void TEmulatedDevice::StoreVersion() {
  state_ = TDevState::DS_COMMAND;
  const int index = ComponentCodeIndex(version_code_);
  bool valid = true;
  for (char c : text_) valid = valid && IsVersionChar(c);
  const TMemRef ref{TMemKind::MK_VERSION, CurrentCardIndex(), index};
  if (!valid || faults_.FireOnMemory(TFaultKind::FK_WRITE_FAIL, ref)) {
    return Reply(version_key_, "X");
  }
  CurrentCard().versions[static_cast<size_t>(index)] = text_;
  Reply(version_key_, ".");
}

void TEmulatedDevice::EndUpdateSession() {
  // "FI": the update is over and the application runs again.
  CloseTarget();
  bridge_ = kMainIndex;
  updater_ = 0;
  app_number_.clear();
  app_y_ = false;
  state_ = TDevState::DS_APP;
}
