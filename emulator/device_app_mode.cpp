// The application's variable protocol: the host types an optional decimal number
// and a command ("?", "yU", "@", ">", "$", "#"); the device answers lines made of a
// tag, a number and CR LF. Writing 254 to the updater variable starts the boot
// loader. The application has no error reply: what it does not understand it
// ignores. A silent device (switched off) answers nothing at all.
#include <string>

#include "emulator/emulated_device.h"

namespace {

constexpr size_t kMaxDigits = 10;  // 4294967295 has ten digits
constexpr uint32_t kEnterBootLoader = 254;

std::string Line(const char* tag, uint32_t value) { return tag + std::to_string(value) + "\r\n"; }

}  // namespace

void TEmulatedDevice::FeedApp(char c) {
  const bool y_before = app_y_;
  app_y_ = false;
  if (c >= '0' && c <= '9') {
    if (app_number_.size() >= kMaxDigits) app_number_overflow_ = true;
    if (!app_number_overflow_) app_number_ += c;
    return;
  }
  if (config_.Silent) {
    app_number_.clear();
    app_number_overflow_ = false;
    return;
  }
  switch (c) {
    case 'y':
      app_y_ = true;
      return;  // the number stays for the "U" that follows
    case 'U':
      if (y_before) AppVariable("UPD", updater_, "yU");
      break;
    case '@':
      AppVariable("ADBG", addr_dbg_, "@");
      break;
    case '>':
      AppVariable("DDBG", data_dbg_, ">");
      break;
    case '?':
      Reply("?", Line("DEV", config_.DeviceType));
      break;
    case '$':
      Reply("$", "$\r\n");
      break;
    case '#':
      Reply("#", Line("ADBG", addr_dbg_) + Line("DDBG", data_dbg_) +
                     Line("DEV", config_.DeviceType) + Line("UPD", updater_) + "#\r\n");
      break;
    default:
      break;  // not part of the protocol: ignored
  }
  app_number_.clear();
  app_number_overflow_ = false;
}

void TEmulatedDevice::AppVariable(const char* tag, uint32_t& variable, std::string_view key) {
  // A number writes the variable and is echoed; a bare command reports it.
  if (app_number_overflow_) return;  // more than 32 bits: not a value, ignored
  if (!app_number_.empty()) {
    const unsigned long long value = std::stoull(app_number_);
    if (value > 0xFFFFFFFFull) return;
    variable = static_cast<uint32_t>(value);
  }
  Reply(key, Line(tag, variable));
  if (&variable == &updater_ && variable == kEnterBootLoader) {
    state_ = TDevState::DS_BOOT_SYNC;
  }
}
